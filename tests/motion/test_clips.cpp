// Clips are checked with ffprobe, the way a user's player would read them.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "motion/clip_recorder.h"
#include "motion/mkv_clip_writer.h"

namespace fs = std::filesystem;
using lv::ClipRecorder;

namespace {

constexpr std::int64_t kSecond = 1'000'000;
constexpr std::int64_t kBaseUs = 1'704'164'645 * kSecond;  // 2024-01-02 03:04:05 UTC

std::vector<std::uint8_t> MakeJpeg(int width, int height) {
  std::vector<unsigned char> gray(static_cast<std::size_t>(width) * height, 90);
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  tjCompress2(tj, gray.data(), width, width, height, TJPF_GRAY, &out, &size, TJSAMP_GRAY, 80, 0);
  std::vector<std::uint8_t> jpeg(out, out + size);
  tjFree(out);
  tjDestroy(tj);
  return jpeg;
}

struct TempDir {
  fs::path path;
  explicit TempDir(const char* existing = nullptr) {
    char name[] = "/tmp/lv_clips_XXXXXX";
    path = existing ? fs::path(existing) : fs::path(mkdtemp(name));
  }
  ~TempDir() { fs::remove_all(path); }
};

std::string Run(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

// key=value lines of one video stream, plus "increasing": every packet's pts after the last.
std::map<std::string, std::string> Probe(const fs::path& clip) {
  const std::string file = " '" + clip.string() + "'";
  std::map<std::string, std::string> values;
  std::istringstream lines(Run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                               "stream=codec_name,width,height,nb_read_frames:format=duration "
                               "-of default=noprint_wrappers=1" + file));
  for (std::string line; std::getline(lines, line);) values[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
  std::istringstream pts(Run("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0" + file));
  double last = -1, t = 0;
  bool increasing = true;
  while (pts >> t) increasing = increasing && t > last, last = t;
  values["increasing"] = increasing ? "yes" : "no";
  return values;
}

// What the writer thread reported, waited for with a generous bound.
struct Closed {
  std::mutex mutex;
  std::vector<fs::path> paths;
  std::vector<std::string> errors;
  ClipRecorder::ClosedFn Fn() {
    return [this](const fs::path& path, const std::string& error) {
      std::lock_guard lock(mutex);
      paths.push_back(path);
      errors.push_back(error);
    };
  }
  bool WaitFor(std::size_t count) {
    for (int i = 0; i < 3000; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
      std::lock_guard lock(mutex);
      if (paths.size() >= count) return true;
    }
    return false;
  }
};

struct ClipWant {
  double startS;
  int frames;
  double durationS;
};

TEST(ClipRecorderTest, ClipsHoldPrerollToEnd) {
  const auto big = MakeJpeg(704, 480), small = MakeJpeg(352, 240);
  struct Row {
    const char* what;
    std::vector<double> triggersS;
    double smallFromS, sameStampAtS;
    bool nameTaken;
    std::vector<ClipWant> clips;
  } rows[] = {
      {"one trigger", {20}, 99, 99, false, {{15, 151, 15}}},
      {"a trigger inside the clip extends it", {20, 25}, 99, 99, false, {{15, 201, 20}}},
      {"triggers far apart", {5, 35}, 99, 99, false, {{0, 151, 15}, {30, 151, 15}}},
      {"a new size starts a new clip", {20}, 22, 99, false, {{15, 70, 6.9}, {22, 81, 8}}},
      {"an arrival stamped like the last", {20}, 99, 17, false, {{15, 151, 15}}},
      {"a name already taken", {20}, 99, 99, true, {{15, 151, 15}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    const std::string firstName = lv::ClipFileName("Cam", 1, kBaseUs + row.clips[0].startS * kSecond);
    if (row.nameTaken) std::ofstream(dir.path / firstName) << "not ours";
    Closed closed;
    {
      ClipRecorder recorder({dir.path, "Cam", 1, 5, 10, 0}, closed.Fn());
      for (int i = 0; i <= 500; ++i) {
        const bool same = i == static_cast<int>(row.sameStampAtS * 10);
        const std::int64_t wallUs = kBaseUs + (same ? i - 1 : i) * kSecond / 10;
        const auto& jpeg = i >= row.smallFromS * 10 ? small : big;
        recorder.AddPicture(jpeg.data(), jpeg.size(), wallUs);
        for (double t : row.triggersS) i == static_cast<int>(t * 10) ? recorder.Trigger(wallUs) : void();
        const bool inFirst = i == static_cast<int>(row.triggersS[0] * 10) + 10;
        EXPECT_TRUE(!inFirst || (recorder.Recording() && recorder.CurrentClip().parent_path() == dir.path));
      }
      EXPECT_FALSE(recorder.Recording());
      EXPECT_TRUE(recorder.CurrentClip().empty());
    }
    ASSERT_EQ(closed.paths.size(), row.clips.size());  // all reported before the destructor returns
    for (std::size_t k = 0; k < row.clips.size(); ++k) {
      const ClipWant& want = row.clips[k];
      const std::string name = lv::ClipFileName("Cam", 1, kBaseUs + want.startS * kSecond);
      EXPECT_EQ(closed.errors[k], "");
      EXPECT_EQ(closed.paths[k], dir.path / lv::NumberedClipName(name, row.nameTaken ? 2 : 1));
      auto probe = Probe(closed.paths[k]);
      EXPECT_EQ(probe["codec_name"], "mjpeg");
      EXPECT_EQ(probe["width"], want.startS >= row.smallFromS ? "352" : "704");
      EXPECT_NEAR(std::stoi(probe["nb_read_frames"]), want.frames, 1);
      EXPECT_NEAR(std::stod(probe["duration"]), want.durationS, 0.15);
      EXPECT_EQ(probe["increasing"], "yes");
    }
    EXPECT_TRUE(!row.nameTaken || fs::file_size(dir.path / firstName) == 8u);  // never overwritten
    for (const auto& entry : fs::directory_iterator(dir.path)) EXPECT_NE(entry.path().extension(), ".part");
  }
}

TEST(ClipRecorderTest, FileNamesAreSafe) {
  setenv("TZ", "UTC", 1);
  tzset();
  const std::pair<std::string, std::string> rows[] = {
      {"Cam A", "Cam A_ch3_20240102-030405.mkv"},
      {"a/b\\c:d\n", "a_b_c_d__ch3_20240102-030405.mkv"},
      {"../x", "_.._x_ch3_20240102-030405.mkv"},
      {"", "__ch3_20240102-030405.mkv"},
  };
  for (const auto& [site, name] : rows) EXPECT_EQ(lv::ClipFileName(site, 2, kBaseUs + 999'999), name);
}

TEST(ClipRecorderTest, CapDeletesOldestClipsOnly) {
  const std::pair<std::uint64_t, std::vector<std::string>> rows[] = {
      {300, {"a.mkv", "b.mkv", "z.mkv"}}, {250, {"a.mkv", "b.mkv"}}, {150, {"b.mkv"}}, {0, {}}};
  for (const auto& [cap, kept] : rows) {
    TempDir dir;
    const auto now = fs::file_time_type::clock::now();
    // z is the oldest; a and b are as old as each other, so the name decides.
    for (auto [name, age] : {std::pair{"z.mkv", 3}, {"a.mkv", 2}, {"b.mkv", 2}, {"c.mkv.part", 9}, {"n.txt", 9}}) {
      std::ofstream(dir.path / name) << std::string(100, 'x');
      fs::last_write_time(dir.path / name, now - std::chrono::hours(age));
    }
    EXPECT_EQ(lv::EnforceClipCap(dir.path, cap), 100 * (3 - kept.size()));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.path)) left.push_back(entry.path().filename());
    std::vector<std::string> want = kept;
    want.insert(want.end(), {"c.mkv.part", "n.txt"});
    std::sort(left.begin(), left.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(left, want) << "cap " << cap;
  }
}

TEST(ClipRecorderTest, UnwritableFolderIsReportedAndRecordingGoesOn) {
  TempDir dir;
  const fs::path folder = dir.path / "clips";
  std::ofstream(folder) << "a file where the folder should be";
  const auto jpeg = MakeJpeg(64, 48);
  Closed closed;
  ClipRecorder recorder({folder, "Cam", 0, 1, 1, 0}, closed.Fn());
  for (int i = 0; i <= 80; ++i) {
    recorder.AddPicture(jpeg.data(), jpeg.size(), kBaseUs + i * kSecond / 10);
    if (i == 10 || i == 50) recorder.Trigger(kBaseUs + i * kSecond / 10);
    if (i == 30) {
      ASSERT_TRUE(closed.WaitFor(1));
      std::lock_guard lock(closed.mutex);
      EXPECT_TRUE(closed.paths[0].empty());
      EXPECT_NE(closed.errors[0].find("clips"), std::string::npos) << closed.errors[0];
      fs::remove(folder);
    }
  }
  ASSERT_TRUE(closed.WaitFor(2));
  std::lock_guard lock(closed.mutex);
  EXPECT_EQ(closed.errors[1], "");
  EXPECT_EQ(Probe(closed.paths[1])["nb_read_frames"], "21");
}

TEST(ClipRecorderTest, AClipWhoseChannelFallsSilentIsClosedAnyway) {
  TempDir dir;
  const auto jpeg = MakeJpeg(64, 48);
  Closed closed;
  ClipRecorder recorder({dir.path, "Cam", 0, 1, 1, 0}, closed.Fn());
  for (int i = 0; i < 20; ++i) {  // the link is lost before the clip's end at 2.0 s
    recorder.AddPicture(jpeg.data(), jpeg.size(), kBaseUs + i * kSecond / 10);
    if (i == 10) recorder.Trigger(kBaseUs + i * kSecond / 10);
  }
  ASSERT_TRUE(closed.WaitFor(1));
  EXPECT_FALSE(recorder.Recording());
  std::lock_guard lock(closed.mutex);
  EXPECT_EQ(closed.errors[0], "");
  EXPECT_EQ(Probe(closed.paths[0])["nb_read_frames"], "20");
}

// The child records clip after clip and is killed while one is being written.
[[noreturn]] void RecordUntilKilled(const fs::path& folder) {
  const auto jpeg = MakeJpeg(320, 240);
  ClipRecorder recorder({folder, "Cam", 0, 1, 1, 0});
  for (int i = 0; i < 3000; ++i) {
    recorder.AddPicture(jpeg.data(), jpeg.size(), kBaseUs + i * kSecond / 10);
    if (i % 30 == 10) recorder.Trigger(kBaseUs + i * kSecond / 10);
    bool part = false, closed = false;
    for (const auto& entry : fs::directory_iterator(folder))
      (entry.path().extension() == ".part" ? part : closed) = true;
    if (part && closed) raise(SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::_Exit(1);
}

TEST(ClipRecorderDeathTest, KilledMidClipLeavesNoBrokenClip) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The child runs this test again from the start: it must use the parent's folder.
  TempDir dir(getenv("LV_CLIPS_KILL_DIR"));
  setenv("LV_CLIPS_KILL_DIR", dir.path.c_str(), 1);
  EXPECT_EXIT(RecordUntilKilled(dir.path), testing::KilledBySignal(SIGKILL), "");
  unsetenv("LV_CLIPS_KILL_DIR");
  int clips = 0;
  for (const auto& entry : fs::directory_iterator(dir.path)) {
    if (entry.path().extension() != ".mkv") continue;
    ++clips;
    EXPECT_EQ(Probe(entry.path())["nb_read_frames"], "21") << entry.path();
  }
  EXPECT_GE(clips, 1);
}

}  // namespace
