// A save cut short, two instances at once, a copy taken mid-save, a damaged
// or foreign file, and the modes of the store's folder and file.
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>

#include "options.h"
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

const std::string kOurTable =
    "CREATE TABLE reg_values (key_path TEXT NOT NULL, value_name TEXT NOT NULL, value_type INTEGER NOT NULL,"
    " data BLOB NOT NULL, PRIMARY KEY (key_path, value_name)) WITHOUT ROWID";

// The bytes of a database another program made with sql.
std::string Database(const std::string& sql) {
  const auto file = std::filesystem::temp_directory_path() / ("lv-other-" + std::to_string(::getpid()) + ".db");
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
  std::string bytes = ReadFile(file);
  std::filesystem::remove(file);
  return bytes;
}

std::vector<std::string> Names(const SiteList& list) {
  std::vector<std::string> names;
  for (const CDvrSession* s = list.First(); s != nullptr; s = s->m_pNext) names.push_back(Utf16ToUtf8(s->m_strSiteName));
  return names;
}

unsigned Mode(const std::filesystem::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 0777;
}

// In a child process, an instance that has loaded the store: saves a and b
// in turn (forever if rounds < 0), then exits with the number of saves that
// did not succeed.
pid_t SaveInChild(const std::filesystem::path& folder, SiteList& a, SiteList& b, int rounds) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    SiteStore store(folder);
    SiteList seen;
    int failed = store.LoadSites(seen, 0) != StoreResult::Ok;
    (void)!::write(ready[1], "r", 1);
    for (int k = 0; rounds < 0 || k < rounds; ++k) {
      const StoreResult r = store.SaveSites(k % 2 ? a : b);
      failed += r != StoreResult::Ok && r != StoreResult::Merged;
    }
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
  const std::string foreign = Database("CREATE TABLE notes (t TEXT); INSERT INTO notes VALUES ('mine')");
  const std::string other = "The file in the site store's place is not a site store";
  const struct {
    const char* what;
    std::string bytes;
    bool bySave;
    std::string said = "The site store was damaged";
  } cases[] = {
      {"not a database", std::string(5000, 'G'), false},
      {"truncated to two pages", sound.substr(0, 2 * 4096), false},
      {"truncated inside its header", sound.substr(0, 60), false},
      {"a page overwritten", overwritten, false},
      {"garbage found by a save", "just some text\n", true},
      {"one byte", "x", false},
      {"another program's database", foreign, false, other},
      {"another program's database found by a save", foreign, true, other},
      {"our table among others", Database(kOurTable + "; CREATE TABLE more (x)"), false, other},
      {"in write-ahead-log mode", Database(kOurTable + "; PRAGMA journal_mode=WAL"), false, other},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Folder());
    std::filesystem::create_directories(Folder());
    std::ofstream(Folder() / SiteStore::kFileName, std::ios::binary) << c.bytes;

    SiteStore store(Folder());
    SiteList list;
    ASSERT_EQ(c.bySave ? store.SaveSites(fresh) : store.LoadSites(list, 0), StoreResult::Recovered) << Utf16ToUtf8(store.Message());
    EXPECT_EQ(list.Count(), 0);
    const auto moved = store.MovedAsideTo();
    EXPECT_EQ(moved.parent_path(), Folder());
    EXPECT_EQ(moved.filename().string().rfind("sites.db.damaged-20", 0), 0u) << moved;
    EXPECT_EQ(Utf16ToUtf8(store.Message()),
              c.said + " and has been moved aside to " + moved.string() +
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

  // Through a link the target's mode stays; a save puts a file of its own in the link's place.
  const auto target = m_root / "elsewhere.db";
  std::filesystem::rename(store.FilePath(), target);
  ::chmod(target.c_str(), 0644);
  std::filesystem::create_symlink(target, store.FilePath());
  SiteList linked;
  EXPECT_EQ(store.LoadSites(linked, 0), StoreResult::Ok);
  EXPECT_EQ(Describe(linked), Describe(list));
  EXPECT_EQ(store.SaveSites(linked), StoreResult::Ok);
  EXPECT_EQ(Mode(target), 0644u);
  EXPECT_EQ(Mode(store.FilePath()), 0600u);
  // A dangling link gets no target made for it, let alone a world-readable one.
  std::filesystem::remove(store.FilePath());
  std::filesystem::create_symlink(m_root / "gone.db", store.FilePath());
  EXPECT_EQ(store.SaveSites(list), StoreResult::Ok);
  EXPECT_FALSE(std::filesystem::exists(m_root / "gone.db"));
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

// Two instances load the same list, change it and save in turn: the second
// save keeps the first's changes, applies its own on top, shows the merge in
// its list and says so. Two store objects stand for two processes here: a
// store holds nothing open between calls, only what it last read or wrote
// (the next test runs real processes).
TEST_F(StoreTest, ASaveKeepsWhatAnotherInstanceChangedSinceItRead) {
  using Edit = std::function<void(SiteList&)>;
  const auto add = [](std::string name) -> Edit { return [=](SiteList& l) { Add(l, l.NextSiteIndex(), name); }; };
  const auto drop = [](int index) -> Edit { return [=](SiteList& l) { l.RemoveSite(index); }; };
  const auto rename = [](int index, std::string to) -> Edit {
    return [=](SiteList& l) { l.FindSite(index)->m_strSiteName = Utf8ToUtf16(to); };
  };
  const struct {
    const char* what;
    Edit theirs, ours;
    std::vector<std::string> stored;
    StoreResult result = StoreResult::Merged;
  } cases[] = {
      {"both add", add("FromB"), add("FromA"), {"X", "Y", "FromB", "FromA"}},
      {"they add, we change", add("FromB"), rename(1, "Y2"), {"X", "Y2", "FromB"}},
      {"they drop one, we change the other", drop(0), rename(1, "Y2"), {"Y2"}},
      {"both change one", rename(1, "YB"), rename(1, "YA"), {"X", "YB", "YA"}},
      {"they change what we drop", rename(1, "YB"), drop(1), {"X", "YB"}},
      {"both add the same", add("Same"), add("Same"), {"X", "Y", "Same"}, StoreResult::Ok},  // nothing to tell
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Folder());
    SiteList seed, ours, theirs, stored;
    Add(seed, 0, "X");
    Add(seed, 1, "Y");
    ASSERT_EQ(SiteStore(Folder()).SaveSites(seed), StoreResult::Ok);
    SiteStore a(Folder()), b(Folder());
    ASSERT_EQ(a.LoadSites(ours, 0), StoreResult::Ok);
    ASSERT_EQ(b.LoadSites(theirs, 0), StoreResult::Ok);
    c.theirs(theirs);
    c.ours(ours);
    ASSERT_EQ(b.SaveSites(theirs), StoreResult::Ok);
    ASSERT_EQ(a.SaveSites(ours), c.result);
    EXPECT_EQ(Utf16ToUtf8(a.Message()).rfind("Another instance had changed the site list", 0),
              c.result == StoreResult::Merged ? 0u : std::string::npos);
    ASSERT_EQ(SiteStore(Folder()).LoadSites(stored, 0), StoreResult::Ok);
    EXPECT_EQ(Names(stored), c.stored);
    EXPECT_EQ(Describe(ours), Describe(stored));
    EXPECT_EQ(a.SaveSites(ours), StoreResult::Ok);  // nothing new since the merge
  }
}

TEST_F(StoreTest, TwoProcessesAddingAtOnceLoseNoSite) {
  SiteList seed;
  Fill(seed, "seed", 2);
  ASSERT_EQ(SiteStore(Folder()).SaveSites(seed), StoreResult::Ok);
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  std::vector<pid_t> children;
  std::vector<std::string> expected = Names(seed);
  for (const std::string who : {"A", "B"}) {
    int loaded[2];
    ASSERT_EQ(::pipe(loaded), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      SiteStore store(Folder());
      SiteList list;
      int failed = store.LoadSites(list, 0) != StoreResult::Ok;
      (void)!::write(loaded[1], "l", 1);
      ::close(go[1]);
      char c = 0;
      (void)!::read(go[0], &c, 1);  // both have loaded: now both add and save
      for (int k = 0; k < 8; ++k) {
        Add(list, list.NextSiteIndex(), who + std::to_string(k));
        const StoreResult r = store.SaveSites(list);
        failed += r != StoreResult::Ok && r != StoreResult::Merged;
      }
      ::_exit(failed);
    }
    char c = 0;
    ASSERT_EQ(::read(loaded[0], &c, 1), 1);
    ::close(loaded[0]);
    ::close(loaded[1]);
    children.push_back(child);
    for (int k = 0; k < 8; ++k) expected.push_back(who + std::to_string(k));
  }
  ::close(go[1]);
  for (pid_t child : children) {
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  ::close(go[0]);
  SiteList stored;
  ASSERT_EQ(SiteStore(Folder()).LoadSites(stored, 0), StoreResult::Ok);
  std::vector<std::string> names = Names(stored);
  std::sort(names.begin(), names.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
}

// What a backup or sync tool does: copy the file alone while saves go on.
TEST_F(StoreTest, ACopyOfTheFileAloneTakenDuringSavesHoldsAWholeList) {
  SiteList a, b;
  Fill(a, std::string(90, 'a'), 30);
  Fill(b, std::string(90, 'b'), 20);
  SiteStore store(Folder()), copy(m_root / "copy");
  ASSERT_EQ(store.SaveSites(a), StoreResult::Ok);
  std::filesystem::create_directories(copy.Folder());
  const pid_t child = SaveInChild(Folder(), a, b, -1);
  ASSERT_GT(child, 0);
  for (int k = 0; k < 1000 && !HasFailure(); ++k) {
    std::ofstream(copy.FilePath(), std::ios::binary | std::ios::trunc) << ReadFile(store.FilePath());
    ExpectOneWhole(copy, a, b);
  }
  ::kill(child, SIGKILL);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
}

TEST_F(StoreTest, TheBridgeSaysWhereItMovedAStoreAside) {
  std::filesystem::create_directories(Folder());
  std::ofstream(Folder() / SiteStore::kFileName) << "not a store";
  std::string error;
  auto options = lvbridge::ParseArguments({"--store", Folder().string(), "--site", "Shop"}, &error);
  ASSERT_TRUE(options) << error;
  std::vector<lvbridge::SiteConfig> sites;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(lvbridge::ResolveSites(&*options, &sites, &error));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(error.find("no site named 'Shop'"), std::string::npos) << error;
  std::filesystem::path moved;
  for (const auto& entry : std::filesystem::directory_iterator(Folder())) moved = entry.path();
  EXPECT_EQ(said, "lorventa-bridge: The site store was damaged and has been moved aside to " + moved.string() +
                      ". Starting with an empty list.\n");
}
