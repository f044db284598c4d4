// What the store does when a save is cut short, when two instances use it at
// once, when its file is damaged, and which modes its files get.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "store_fixture.h"

using namespace lv;
using namespace lvtest;

namespace {

void Fill(SiteList& list, const std::string& prefix, int count) {
  for (int i = 0; i < count; ++i)
    list.AppendSite(MakeSite(i, prefix + std::to_string(i), "10.0.0." + std::to_string(i), 8000 + i, "user", "pw"));
}

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

unsigned Mode(const std::filesystem::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 0777;
}

// Saves a and b in turn until killed or rounds saves are done; exits with the
// number of saves that did not succeed.
[[noreturn]] void SaveLoop(const std::filesystem::path& folder, const SiteList& a, const SiteList& b, int rounds,
                           int readyFd) {
  SiteStore store(folder);
  if (readyFd >= 0) {
    (void)!::write(readyFd, "r", 1);
    ::close(readyFd);
  }
  int failed = 0;
  for (int k = 0; rounds < 0 || k < rounds; ++k) failed += store.SaveSites(k % 2 ? a : b) != StoreResult::Ok;
  ::_exit(failed);
}

}  // namespace

TEST_F(StoreTest, SaveKilledAtAnyMomentLeavesTheOldListOrTheNewOneWhole) {
  SiteList a, b;
  Fill(a, "alpha", 3);
  Fill(b, "beta", 24);
  SiteStore store(Folder());
  ASSERT_EQ(store.SaveSites(a), StoreResult::Ok);
  const auto wholeA = Describe(a), wholeB = Describe(b);

  for (int round = 0; round < 30; ++round) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(ready[0]);
      SaveLoop(Folder(), a, b, -1, ready[1]);
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    ::usleep(static_cast<useconds_t>((round * 1370) % 15000));  // a different moment each round
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);

    SiteList loaded;
    ASSERT_EQ(store.LoadSites(loaded, 0), StoreResult::Ok) << Utf16ToUtf8(store.Message());
    const auto got = Describe(loaded);
    EXPECT_TRUE(got == wholeA || got == wholeB) << "round " << round << ": " << got.size() << " sites";
  }
}

TEST_F(StoreTest, TwoInstancesSavingAndLoadingAtOnceSeeWholeLists) {
  SiteList a, b;
  Fill(a, "alpha", 5);
  Fill(b, "beta", 9);
  SiteStore store(Folder());
  ASSERT_EQ(store.SaveSites(a), StoreResult::Ok);
  pid_t children[2];
  for (pid_t& child : children) {
    child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) SaveLoop(Folder(), a, b, 25, -1);
  }
  for (int k = 0; k < 40; ++k) {
    SiteList loaded;
    ASSERT_EQ(store.LoadSites(loaded, 0), StoreResult::Ok) << Utf16ToUtf8(store.Message());
    const auto got = Describe(loaded);
    EXPECT_TRUE(got == Describe(a) || got == Describe(b)) << got.size() << " sites";
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "saves that failed in one instance";
  }
}

TEST_F(StoreTest, DamagedFileIsMovedAsideNeverOverwritten) {
  SiteList many;
  Fill(many, std::string(90, 's'), 30);
  ASSERT_EQ(SiteStore(Folder()).SaveSites(many), StoreResult::Ok);
  const std::string sound = ReadFile(Folder() / SiteStore::kFileName);
  ASSERT_GE(sound.size(), 3u * 4096u);

  std::string overwritten = sound;
  overwritten.replace(2 * 4096 + 100, 2000, std::string(2000, '\x5A'));
  struct Case {
    const char* what;
    std::string bytes;
    bool viaSave;
  } cases[] = {
      {"not a database", std::string(5000, 'G'), false},
      {"truncated to two pages", sound.substr(0, 2 * 4096), false},
      {"truncated inside its header", sound.substr(0, 60), false},
      {"a page overwritten", overwritten, false},
      {"garbage, found by a save", "just some text, not a store\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Folder());
    std::filesystem::create_directories(Folder());
    const auto file = Folder() / SiteStore::kFileName;
    WriteFile(file, c.bytes);

    SiteStore store(Folder());
    SiteList list;
    SiteList fresh;
    Fill(fresh, "new", 2);
    const StoreResult result = c.viaSave ? store.SaveSites(fresh) : store.LoadSites(list, 0);
    ASSERT_EQ(result, StoreResult::Recovered);
    EXPECT_EQ(list.Count(), 0);
    const auto moved = store.MovedAsideTo();
    EXPECT_EQ(moved.parent_path(), Folder());
    EXPECT_EQ(moved.filename().string().rfind("sites.db.damaged-20", 0), 0u) << moved;
    EXPECT_EQ(ReadFile(moved), c.bytes);  // kept byte for byte
    const std::string message = Utf16ToUtf8(store.Message());
    EXPECT_EQ(message, "The site store was damaged and has been moved aside to " + moved.string() +
                           (c.viaSave ? ". The sites were saved to a new store." : ". Starting with an empty list."));

    // The store starts afresh and keeps what is saved next.
    if (!c.viaSave) {
      ASSERT_EQ(store.SaveSites(fresh), StoreResult::Ok);
    }
    SiteList reloaded;
    ASSERT_EQ(store.LoadSites(reloaded, 0), StoreResult::Ok);
    EXPECT_EQ(Describe(reloaded), Describe(fresh));
    EXPECT_EQ(ReadFile(moved), c.bytes);
  }
}

TEST_F(StoreTest, FoldersAreMadeOwnerOnlyAndTheFileReadableByItsOwnerOnly) {
  const mode_t old = ::umask(022);
  const auto folder = m_root / "config" / "lorventa";
  SiteStore store(folder);
  SiteList list;
  EXPECT_EQ(store.LoadSites(list, 0), StoreResult::Ok);  // nothing stored yet: an empty list
  EXPECT_FALSE(std::filesystem::exists(folder));
  Fill(list, "s", 1);
  ASSERT_EQ(store.SaveSites(list), StoreResult::Ok);
  EXPECT_EQ(Mode(m_root / "config"), 0700u);
  EXPECT_EQ(Mode(folder), 0700u);
  EXPECT_EQ(Mode(store.FilePath()), 0600u);

  // A file left readable by others is closed up when the store is next used.
  ::chmod(store.FilePath().c_str(), 0644);
  SiteList loaded;
  EXPECT_EQ(store.LoadSites(loaded, 0), StoreResult::Ok);
  EXPECT_EQ(Mode(store.FilePath()), 0600u);
  EXPECT_EQ(loaded.Count(), 1);
  ::umask(old);

  // The default folder follows XDG_CONFIG_HOME when it is absolute.
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string keep = saved != nullptr ? saved : "";
  ::setenv("XDG_CONFIG_HOME", m_root.c_str(), 1);
  EXPECT_EQ(SiteStore().FilePath(), m_root / "lorventa" / "sites.db");
  ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
  EXPECT_EQ(DefaultSiteStoreFolder(), std::filesystem::path(std::getenv("HOME")) / ".config" / "lorventa");
  if (saved != nullptr)
    ::setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}
