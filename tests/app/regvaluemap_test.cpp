#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "core/RegValueMap.h"
#include "platform/win32/registry.h"
#include "platform/win32/security.h"

namespace {

// A small record: two numbers and two texts.
class CTestRecord : public CRegValueMap {
 public:
  CTestRecord(HKEY root, const char* format, int n) {
    InitKey(root, format, n);
    Exchange(nullptr, FALSE, TRUE);
  }
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override {
    LONG result = 0;
    BeginExchange(save, defaults);
    if (!ExchangeEntry(key, save, defaults, "m_nCount", m_nCount, 7u, result)) return result;
    if (!ExchangeEntry(key, save, defaults, "m_bEnabled", m_bEnabled, TRUE, result)) return result;
    if (!ExchangeEntry(key, save, defaults, "m_strName", m_strName, "default name", result)) return result;
    if (!ExchangeEntry(key, save, defaults, "m_strNote", m_strNote, "", result)) return result;
    EndExchange(save, defaults);
    return result;
  }
  void OnBeforeSave() override { ++m_nBeforeSave; }
  void OnAfterLoad() override { ++m_nAfterLoad; }

  DWORD m_nCount;
  BOOL m_bEnabled;
  CString m_strName;
  CString m_strNote;
  int m_nBeforeSave = 0;
  int m_nAfterLoad = 0;
};

const char kKey[] = "Software\\Kesmora\\Test\\Record1";

void Put(const char* name, DWORD type, const void* data, DWORD size) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), 0);
  ASSERT_EQ(RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size), 0);
  RegCloseKey(k);
}

std::string Raw(const char* name, DWORD* type) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &k) != 0) return "<missing>";
  BYTE data[512];
  DWORD size = sizeof data;
  LONG rc = RegQueryValueExA(k, name, nullptr, type, data, &size);
  RegCloseKey(k);
  return rc == 0 ? std::string(reinterpret_cast<char*>(data), size) : "<missing>";
}

}  // namespace

TEST(RegValueMap, DefaultsFromConstructionAndMissingKey) {
  CTestRecord r(HKEY_CURRENT_USER, "Software\\Kesmora\\Test\\Record%d", 1);
  EXPECT_STREQ(r.m_strKey, kKey);
  EXPECT_EQ(r.m_nCount, 7u);
  EXPECT_EQ(r.m_bEnabled, TRUE);
  EXPECT_STREQ(r.m_strName, "default name");
  r.m_nCount = 99;
  r.m_strName = "changed";
  EXPECT_EQ(r.Load(), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(r.m_nCount, 7u);
  EXPECT_STREQ(r.m_strName, "default name");
  EXPECT_EQ(r.m_nAfterLoad, 0);
}

TEST(RegValueMap, SaveAndLoadKeepStoredValues) {
  CTestRecord r(HKEY_CURRENT_USER, "Software\\Kesmora\\Test\\Record%d", 1);
  r.m_nCount = 12;
  r.m_bEnabled = FALSE;
  r.m_strName = std::string(150, 'n');  // longer than the first read of 100 bytes
  r.m_strNote = "";
  ASSERT_EQ(r.Save(), 0);
  EXPECT_EQ(r.m_nBeforeSave, 1);
  DWORD type = 0;
  EXPECT_EQ(Raw("m_nCount", &type), std::string("\x0c\0\0\0", 4));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(Raw("m_strNote", &type), std::string(1, '\0')) << "an empty string is one zero byte";
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  CTestRecord back(HKEY_CURRENT_USER, "Software\\Kesmora\\Test\\Record%d", 1);
  EXPECT_EQ(back.Load(), 0);
  EXPECT_EQ(back.m_nAfterLoad, 1);
  EXPECT_EQ(back.m_nCount, 12u);
  EXPECT_EQ(back.m_bEnabled, FALSE);
  EXPECT_STREQ(back.m_strName, std::string(150, 'n').c_str());
}

TEST(RegValueMap, MissingAndMalformedValuesTakeTheirDefaults) {
  Put("m_strNote", REG_SZ, "note", 5);
  // A DWORD of 1 to 3 bytes is not a number of this record (it would leave part of the member stale).
  Put("m_nCount", REG_BINARY, "\x05", 1);
  Put("m_bEnabled", REG_BINARY, "\x00\x00\x00", 3);
  CTestRecord r(HKEY_CURRENT_USER, "Software\\Kesmora\\Test\\Record%d", 1);
  r.m_nCount = 0xFFFFFFFF;
  EXPECT_EQ(r.Load(), 0) << "the result is that of the last value";
  EXPECT_EQ(r.m_nCount, 7u);
  EXPECT_EQ(r.m_bEnabled, TRUE);
  EXPECT_STREQ(r.m_strName, "default name") << "missing";
  EXPECT_STREQ(r.m_strNote, "note");

  // Four bytes of any type are taken as they are.
  Put("m_nCount", REG_SZ, "abc", 4);
  // A text stored without its terminator, short and long, is read exactly.
  Put("m_strName", REG_SZ, "abcde", 5);
  std::string hundred(150, 'q');
  Put("m_strNote", REG_SZ, hundred.data(), 150);
  CTestRecord t(HKEY_CURRENT_USER, "Software\\Kesmora\\Test\\Record%d", 1);
  EXPECT_EQ(t.Load(), 0);
  EXPECT_EQ(t.m_nCount, 0x00636261u);
  EXPECT_STREQ(t.m_strName, "abcde");
  EXPECT_STREQ(t.m_strNote, hundred.c_str());
  Put("m_strNote", REG_SZ, hundred.data(), 100);
  EXPECT_EQ(t.Load(), 0);
  EXPECT_EQ(t.m_strNote.GetLength(), 100);
}

TEST(RegValueMap, KeyThatCannotBeCreatedWritesNothing) {
  kx::SetAdministratorForTests(0);  // the machine hive is then read-only
  CTestRecord r(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kesmora\\Test%d", 2);
  r.m_nCount = 3;
  EXPECT_EQ(r.Save(), static_cast<LONG>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(r.m_nBeforeSave, 0);
  kx::SetAdministratorForTests(-1);
  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kesmora\\Test2", 0, KEY_READ, &k),
            static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(r.Save(), 0);
}
