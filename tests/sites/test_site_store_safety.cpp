// A save cut short, two instances at once, a damaged file, and the modes of
// the store's folder and file.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "store_test_support.h"

using namespace lv;
using namespace lvtest;

namespace {

void Fill(SiteList& list, const std::string& prefix, int count) {
  for (int i = 0; i < count; ++i) Add(list, i, prefix + std::to_string(i), "10.0.0." + std::to_string(i), 8000 + i);
}

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

unsigned Mode(const std::filesystem::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 0777;
}

// In a child process: saves a and b in turn (forever if rounds < 0), then
// exits with the number of saves that did not succeed.
pid_t SaveInChild(const std::filesystem::path& folder, const SiteList& a, const SiteList& b, int rounds) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    SiteStore store(folder);
    (void)!::write(ready[1], "r", 1);
    int failed = 0;
    for (int k = 0; rounds < 0 || k < rounds; ++k) failed += store.SaveSites(k % 2 ? a : b) != StoreResult::Ok;
    ::_exit(failed);
  }
  char c = 0;
  (void)!::read(ready[0], &c, 1);  // the child is about to save
  ::close(ready[0]);
  ::close(ready[1]);
  return child;
}

// Loads and expects one of the two lists whole.
void ExpectOneWhole(SiteStore& store, const SiteList& a, const SiteList& b) {
  SiteList loaded;
  ASSERT_EQ(store.LoadSites(loaded, 0), StoreResult::Ok) << Utf16ToUtf8(store.Message());
  const auto got = Describe(loaded);
  EXPECT_TRUE(got == Describe(a) || got == Describe(b)) << got.size() << " sites";
}

}  // namespace

TEST_F(StoreTest, SaveKilledAtAnyMomentLeavesTheOldListOrTheNewOneWhole) {
  SiteList a, b;
  Fill(a, "alpha", 3);
  Fill(b, "beta", 24);
  SiteStore store(Folder());
  ASSERT_EQ(store.SaveSites(a), StoreResult::Ok);
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(round);
    const pid_t child = SaveInChild(Folder(), a, b, -1);
    ASSERT_GT(child, 0);
    ::usleep(static_cast<useconds_t>((round * 1370) % 15000));  // a different moment each round
    ::kill(child, SIGKILL);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    ExpectOneWhole(store, a, b);
  }
}

TEST_F(StoreTest, TwoInstancesSavingAndLoadingAtOnceSeeWholeLists) {
  SiteList a, b;
  Fill(a, "alpha", 5);
  Fill(b, "beta", 9);
  SiteStore store(Folder());
  ASSERT_EQ(store.SaveSites(a), StoreResult::Ok);
  const pid_t children[] = {SaveInChild(Folder(), a, b, 25), SaveInChild(Folder(), b, a, 25)};
  for (int k = 0; k < 40; ++k) ExpectOneWhole(store, a, b);
  for (pid_t child : children) {
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "saves failed in another instance: " << status;
  }
}

TEST_F(StoreTest, DamagedFileIsMovedAsideNeverOverwritten) {
  SiteList many, fresh;
  Fill(many, std::string(90, 's'), 30);
  Fill(fresh, "new", 2);
  ASSERT_EQ(SiteStore(Folder()).SaveSites(many), StoreResult::Ok);
  const std::string sound = ReadFile(Folder() / SiteStore::kFileName);
  ASSERT_GE(sound.size(), 3u * 4096u);
  std::string overwritten = sound;
  overwritten.replace(2 * 4096 + 100, 2000, std::string(2000, 'Z'));
  const struct {
    const char* what;
    std::string bytes;
    bool bySave;
  } cases[] = {
      {"not a database", std::string(5000, 'G'), false},
      {"truncated to two pages", sound.substr(0, 2 * 4096), false},
      {"truncated inside its header", sound.substr(0, 60), false},
      {"a page overwritten", overwritten, false},
      {"garbage found by a save", "just some text\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Folder());
    std::filesystem::create_directories(Folder());
    std::ofstream(Folder() / SiteStore::kFileName, std::ios::binary) << c.bytes;

    SiteStore store(Folder());
    SiteList list;
    ASSERT_EQ(c.bySave ? store.SaveSites(fresh) : store.LoadSites(list, 0), StoreResult::Recovered);
    EXPECT_EQ(list.Count(), 0);
    const auto moved = store.MovedAsideTo();
    EXPECT_EQ(moved.parent_path(), Folder());
    EXPECT_EQ(moved.filename().string().rfind("sites.db.damaged-20", 0), 0u) << moved;
    EXPECT_EQ(Utf16ToUtf8(store.Message()),
              "The site store was damaged and has been moved aside to " + moved.string() +
                  (c.bySave ? ". The sites were saved to a new store." : ". Starting with an empty list."));
    // The store starts afresh and keeps what is saved next; the damaged bytes stay as they were.
    if (!c.bySave) {
      EXPECT_EQ(store.SaveSites(fresh), StoreResult::Ok);
    }
    SiteList reloaded;
    EXPECT_EQ(store.LoadSites(reloaded, 0), StoreResult::Ok);
    EXPECT_EQ(Describe(reloaded), Describe(fresh));
    EXPECT_EQ(ReadFile(moved), c.bytes);
  }
}

TEST_F(StoreTest, FoldersAreOwnerOnlyAndTheFileReadableByItsOwnerOnly) {
  const mode_t oldMask = ::umask(022);
  const auto folder = m_root / "config" / "lorventa";
  SiteStore store(folder);
  SiteList list;
  EXPECT_EQ(store.LoadSites(list, 0), StoreResult::Ok);  // nothing stored yet: an empty list
  Fill(list, "s", 1);
  ASSERT_EQ(store.SaveSites(list), StoreResult::Ok);
  EXPECT_EQ(Mode(m_root / "config"), 0700u);
  EXPECT_EQ(Mode(folder), 0700u);
  EXPECT_EQ(Mode(store.FilePath()), 0600u);
  ::chmod(store.FilePath().c_str(), 0644);  // left open by someone: closed up at the next use
  SiteList loaded;
  EXPECT_EQ(store.LoadSites(loaded, 0), StoreResult::Ok);
  EXPECT_EQ(Mode(store.FilePath()), 0600u);
  ::umask(oldMask);

  // The default folder follows XDG_CONFIG_HOME when it is an absolute path.
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string keep = saved != nullptr ? saved : "";
  ::setenv("XDG_CONFIG_HOME", m_root.c_str(), 1);
  EXPECT_EQ(SiteStore().FilePath(), m_root / "lorventa" / "sites.db");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_EQ(DefaultSiteStoreFolder(), std::filesystem::path(std::getenv("HOME")) / ".config" / "lorventa");
  saved != nullptr ? ::setenv("XDG_CONFIG_HOME", keep.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
}
