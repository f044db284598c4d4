// The recorder in two halves. The caller's half (AddPicture, Trigger) keeps
// the pre-roll and decides, under one mutex, where clips start and end; it
// only copies pictures and queues jobs. The writer thread takes the jobs in
// order and does everything that touches the disk.
//
// Clips follow the pictures' own arrival times: a clip ends when the first
// picture past its end arrives (or when the recorder is destroyed). A channel
// that falls silent (a lost link) would keep its clip open; so the writer also
// closes it once no picture has come for the clip's remaining time plus a few
// seconds, measured on the steady clock from the last picture. Each clip carries its whole pre-roll, even when that overlaps
// the clip before, so that every file shows what led up to its trigger.
// A picture of another size than the clip's closes it and starts the next
// clip, as does a clip reaching its longest length; both keep the same end.
#include "motion/clip_recorder.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "motion/jpeg_size.h"
#include "motion/mkv_clip_writer.h"

namespace lv {
namespace {

constexpr std::int64_t kUsPerSecond = 1'000'000;
constexpr std::size_t kMaxPrerollBytes = std::size_t{64} << 20;
// Pictures waiting for a slow disk; past this, new pictures are dropped.
constexpr std::size_t kMaxQueuedBytes = std::size_t{64} << 20;
constexpr std::int64_t kMaxClipUs = 10 * 60 * kUsPerSecond;
// How long past its end a clip waits for a late picture before it is closed.
constexpr std::int64_t kSilentCloseUs = 3 * kUsPerSecond;

struct Picture {
  std::vector<std::uint8_t> jpeg;
  std::int64_t wallUs = 0;
  JpegSize size;
};
using PicturePtr = std::shared_ptr<const Picture>;

struct Job {
  enum class Kind { Open, Write, Close };
  Kind kind = Kind::Write;
  std::uint64_t clip = 0;
  PicturePtr picture;  // Write: the picture; Open: the clip's first
  std::string name;    // Open
  int firstN = 1;      // Open
};

}  // namespace

struct ClipRecorder::Impl {
  ClipOptions options;
  ClosedFn onClosed;
  std::int64_t preUs = 0;
  std::int64_t postUs = 0;

  mutable std::mutex mutex;
  std::condition_variable wake;
  // Guarded by mutex.
  std::deque<PicturePtr> preroll;
  std::size_t prerollBytes = 0;
  bool recording = false;
  std::int64_t endUs = 0;
  bool clipOpen = false;
  std::uint64_t clipId = 0;
  JpegSize clipSize;
  std::int64_t clipStartUs = 0;
  std::string lastName;
  int lastN = 0;
  std::filesystem::path current;
  std::deque<Job> jobs;
  std::size_t queuedBytes = 0;
  bool stopping = false;
  // The last picture (or trigger): when it came, on the steady clock, and its stamp.
  std::chrono::steady_clock::time_point lastSteady;
  std::int64_t lastWallUs = 0;

  std::thread writer;

  void Keep(const PicturePtr& picture);
  void Route(const PicturePtr& picture);
  void OpenClip(const PicturePtr& first);
  void CloseClip();
  void Queue(Job job);
  void Heard(std::int64_t wallUs) {
    lastSteady = std::chrono::steady_clock::now();
    lastWallUs = wallUs;
  }
  std::chrono::steady_clock::time_point SilentCloseAt() const {
    return lastSteady + std::chrono::microseconds(std::max<std::int64_t>(0, endUs - lastWallUs) + kSilentCloseUs);
  }
  void WaitForJob(std::unique_lock<std::mutex>& lock);
  void Run();
  void Report(const std::filesystem::path& path, const std::string& error) {
    if (onClosed) onClosed(path, error);
  }
};

void ClipRecorder::Impl::Keep(const PicturePtr& picture) {
  preroll.push_back(picture);
  prerollBytes += picture->jpeg.size();
  const std::int64_t newest = picture->wallUs;
  while (!preroll.empty()) {
    const Picture& oldest = *preroll.front();
    // A stamp far ahead of the newest one means the wall clock went back.
    const bool stale = oldest.wallUs < newest - preUs || oldest.wallUs > newest + preUs;
    if (!stale && prerollBytes <= kMaxPrerollBytes) break;
    prerollBytes -= oldest.jpeg.size();
    preroll.pop_front();
  }
}

void ClipRecorder::Impl::Route(const PicturePtr& picture) {
  if (!recording) return;
  if (picture->wallUs > endUs) {
    CloseClip();
    recording = false;
    return;
  }
  const bool otherSize = picture->size.width != clipSize.width || picture->size.height != clipSize.height;
  if (clipOpen && (otherSize || picture->wallUs - clipStartUs >= kMaxClipUs)) CloseClip();
  if (!clipOpen) OpenClip(picture);
  if (queuedBytes + picture->jpeg.size() > kMaxQueuedBytes) return;
  queuedBytes += picture->jpeg.size();
  Queue({Job::Kind::Write, clipId, picture, {}, 0});
}

void ClipRecorder::Impl::OpenClip(const PicturePtr& first) {
  std::string name = ClipFileName(options.site, options.channel, first->wallUs);
  // Two clips started in one second (a new size, say) get "-2", "-3", ….
  lastN = name == lastName ? lastN + 1 : 1;
  lastName = name;
  clipOpen = true;
  ++clipId;
  clipSize = first->size;
  clipStartUs = first->wallUs;
  current = options.folder / NumberedClipName(name, lastN);
  Queue({Job::Kind::Open, clipId, first, std::move(name), lastN});
}

void ClipRecorder::Impl::CloseClip() {
  if (!clipOpen) return;
  clipOpen = false;
  current.clear();
  Queue({Job::Kind::Close, clipId, nullptr, {}, 0});
}

void ClipRecorder::Impl::Queue(Job job) {
  jobs.push_back(std::move(job));
  wake.notify_one();
}

void ClipRecorder::Impl::WaitForJob(std::unique_lock<std::mutex>& lock) {
  while (!stopping && jobs.empty()) {
    if (!recording) {
      wake.wait(lock);
      continue;
    }
    const auto closeAt = SilentCloseAt();
    if (std::chrono::steady_clock::now() < closeAt) {
      wake.wait_until(lock, closeAt);
      continue;
    }
    CloseClip();  // queues the close, which ends the wait
    recording = false;
  }
}

void ClipRecorder::Impl::Run() {
  MkvClipWriter writer;
  std::uint64_t writing = 0;  // the clip the writer holds open; 0: none, or it failed
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex);
      WaitForJob(lock);
      if (jobs.empty()) return;
      job = std::move(jobs.front());
      jobs.pop_front();
      if (job.kind == Job::Kind::Write) queuedBytes -= job.picture->jpeg.size();
    }
    std::string error;
    switch (job.kind) {
      case Job::Kind::Open: {
        writer.Abandon();
        writing = 0;
        const Picture& first = *job.picture;
        if (!writer.Open(options.folder, job.name, job.firstN, first.size.width, first.size.height, first.wallUs,
                         error)) {
          Report({}, error);
          break;
        }
        writing = job.clip;
        // The name may have moved on past a file already on the disk.
        std::lock_guard lock(mutex);
        if (clipOpen && clipId == job.clip) current = writer.FinalPath();
        break;
      }
      case Job::Kind::Write:
        if (writing != job.clip) break;
        if (!writer.Write(job.picture->jpeg.data(), job.picture->jpeg.size(), job.picture->wallUs, error)) {
          writing = 0;
          Report({}, error);
        }
        break;
      case Job::Kind::Close: {
        if (writing != job.clip) break;
        writing = 0;
        const std::filesystem::path path = writer.Close(error);
        // The cap first, so that whoever hears of the clip sees the folder within it.
        if (!path.empty() && options.maxFolderBytes > 0) EnforceClipCap(options.folder, options.maxFolderBytes);
        Report(path, error);
        break;
      }
    }
  }
}

ClipRecorder::ClipRecorder(ClipOptions options, ClosedFn onClosed) : m_impl(std::make_unique<Impl>()) {
  Impl& m = *m_impl;
  m.options = std::move(options);
  m.onClosed = std::move(onClosed);
  m.preUs = std::max(0, m.options.preSeconds) * kUsPerSecond;
  m.postUs = std::max(0, m.options.postSeconds) * kUsPerSecond;
  m.writer = std::thread([&m] { m.Run(); });
}

ClipRecorder::~ClipRecorder() {
  {
    std::lock_guard lock(m_impl->mutex);
    m_impl->CloseClip();
    m_impl->recording = false;
    m_impl->stopping = true;
  }
  m_impl->wake.notify_all();
  m_impl->writer.join();  // the writer finishes every queued job first
}

void ClipRecorder::AddPicture(const std::uint8_t* jpeg, std::size_t size, std::int64_t wallUs) {
  const auto dimensions = ReadJpegSize(jpeg, size);
  if (!dimensions) return;  // not a picture a clip's stream could carry
  auto picture = std::make_shared<Picture>();
  picture->jpeg.assign(jpeg, jpeg + size);
  picture->wallUs = wallUs;
  picture->size = *dimensions;
  std::lock_guard lock(m_impl->mutex);
  m_impl->Heard(wallUs);
  m_impl->Keep(picture);
  m_impl->Route(picture);
}

void ClipRecorder::Trigger(std::int64_t wallUs) {
  Impl& m = *m_impl;
  std::lock_guard lock(m.mutex);
  m.Heard(wallUs);
  const std::int64_t end = wallUs + m.postUs;
  if (m.recording) {
    m.endUs = std::max(m.endUs, end);
    return;
  }
  m.recording = true;
  m.endUs = end;
  m.wake.notify_one();  // the writer now keeps the silent-close time
  for (const PicturePtr& picture : m.preroll) {
    if (!m.recording) break;
    if (picture->wallUs >= wallUs - m.preUs) m.Route(picture);
  }
}

bool ClipRecorder::Recording() const {
  std::lock_guard lock(m_impl->mutex);
  return m_impl->recording;
}

std::filesystem::path ClipRecorder::CurrentClip() const {
  std::lock_guard lock(m_impl->mutex);
  return m_impl->current;
}

}  // namespace lv
