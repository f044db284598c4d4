#pragma once
// A store in a temporary folder of its own, its raw values, and a loaded
// list described as rows.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <tuple>

#include "protocol/text.h"
#include "sites/registry_db.h"
#include "sites/site_store.h"

namespace lvtest {

using SiteRow = std::tuple<int, std::string, std::string, int, std::string, std::string>;
using RawValue = std::tuple<std::string, int, std::string>;  // name, type, bytes

inline std::vector<SiteRow> Describe(const lv::SiteList& list) {
  std::vector<SiteRow> rows;
  for (const lv::CDvrSession* s = list.First(); s != nullptr; s = s->m_pNext)
    rows.emplace_back(s->m_nSiteIndex, lv::Utf16ToUtf8(s->m_strSiteName), lv::Utf16ToUtf8(s->m_strAddress),
                      s->m_nPort, lv::Utf16ToUtf8(s->m_strUserID), lv::Utf16ToUtf8(s->m_strPassword));
  return rows;
}

inline void Add(lv::SiteList& list, int index, const std::string& name, const std::string& address = "a",
                int port = 1, const std::string& user = "u", const std::string& password = "") {
  auto s = std::make_unique<lv::CDvrSession>();
  s->m_nSiteIndex = index;
  s->m_strSiteName = lv::Utf8ToUtf16(name);
  s->m_strAddress = lv::Utf8ToUtf16(address);
  s->m_nPort = port;
  s->m_strUserID = lv::Utf8ToUtf16(user);
  s->m_strPassword = lv::Utf8ToUtf16(password);
  list.AppendSite(std::move(s));
}

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "lv-store-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_root = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(m_root); }
  std::filesystem::path Folder() const { return m_root / "lorventa"; }

  // Values under the site key as another program might have written them.
  void WriteRaw(const std::vector<RawValue>& values) {
    std::filesystem::create_directories(Folder());
    std::filesystem::remove(Folder() / lv::SiteStore::kFileName);
    lv::RegistryDb db;
    ASSERT_EQ(db.OpenNew(), lv::DbStatus::Ok);
    ASSERT_EQ(db.Begin(), lv::DbStatus::Ok);
    for (const auto& [name, type, bytes] : values)
      ASSERT_EQ(db.SetValue(lv::SiteStore::kKeyPath, name, type, {bytes.begin(), bytes.end()}), lv::DbStatus::Ok);
    ASSERT_EQ(db.Commit(), lv::DbStatus::Ok);
    ASSERT_EQ(db.SaveInto(Folder() / lv::SiteStore::kFileName), lv::DbStatus::Ok);
  }
  std::map<std::string, RawValue> ReadRaw() {
    lv::RegistryDb db;
    std::vector<lv::RegistryValue> values;
    EXPECT_EQ(db.OpenRead(Folder() / lv::SiteStore::kFileName), lv::DbStatus::Ok);
    EXPECT_EQ(db.ReadKey(lv::SiteStore::kKeyPath, 1 << 20, values), lv::DbStatus::Ok);
    std::map<std::string, RawValue> byName;
    for (const auto& v : values) byName[v.name] = {v.name, v.type, std::string(v.data.begin(), v.data.end())};
    return byName;
  }

  std::filesystem::path m_root;
};

}  // namespace lvtest
