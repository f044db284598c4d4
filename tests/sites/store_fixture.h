#pragma once
// A store in a temporary folder of its own, and ways to read and write its
// raw values and to describe a loaded list.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "protocol/text.h"
#include "sites/registry_db.h"
#include "sites/site_store.h"

namespace lvtest {

using SiteRow = std::tuple<int, std::string, std::string, int, std::string, std::string>;

inline std::vector<SiteRow> Describe(const lv::SiteList& list) {
  std::vector<SiteRow> rows;
  for (const lv::CDvrSession* s = list.First(); s != nullptr; s = s->m_pNext)
    rows.emplace_back(s->m_nSiteIndex, lv::Utf16ToUtf8(s->m_strSiteName), lv::Utf16ToUtf8(s->m_strAddress),
                      s->m_nPort, lv::Utf16ToUtf8(s->m_strUserID), lv::Utf16ToUtf8(s->m_strPassword));
  return rows;
}

inline std::unique_ptr<lv::CDvrSession> MakeSite(int index, const std::string& name, const std::string& address = "a",
                                                 int port = 1, const std::string& user = "u",
                                                 const std::string& password = "") {
  auto s = std::make_unique<lv::CDvrSession>();
  s->m_nSiteIndex = index;
  s->m_strSiteName = lv::Utf8ToUtf16(name);
  s->m_strAddress = lv::Utf8ToUtf16(address);
  s->m_nPort = port;
  s->m_strUserID = lv::Utf8ToUtf16(user);
  s->m_strPassword = lv::Utf8ToUtf16(password);
  return s;
}

inline std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "lv-store-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_root = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(m_root); }

  std::filesystem::path Folder() const { return m_root / "lorventa"; }

  // Writes raw values under the site key, as another program might have.
  void WriteRaw(const std::vector<std::tuple<std::string, int, std::vector<std::uint8_t>>>& values) {
    std::filesystem::create_directories(Folder());
    lv::RegistryDb db;
    ASSERT_EQ(db.Open(Folder() / lv::SiteStore::kFileName, true), lv::DbStatus::Ok);
    ASSERT_EQ(db.Begin(), lv::DbStatus::Ok);
    for (const auto& [name, type, data] : values)
      ASSERT_EQ(db.SetValue(lv::SiteStore::kKeyPath, name, type, data), lv::DbStatus::Ok);
    ASSERT_EQ(db.Commit(), lv::DbStatus::Ok);
  }

  std::vector<lv::RegistryValue> ReadRaw() {
    lv::RegistryDb db;
    std::vector<lv::RegistryValue> values;
    EXPECT_EQ(db.Open(Folder() / lv::SiteStore::kFileName, false), lv::DbStatus::Ok);
    EXPECT_EQ(db.ReadKey(lv::SiteStore::kKeyPath, 1 << 20, values), lv::DbStatus::Ok);
    return values;
  }

  std::filesystem::path m_root;
};

}  // namespace lvtest
