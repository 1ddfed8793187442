// The class registry, the file manager and its folder scans, and file images carried as safe arrays.
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "core/SafeArray.h"
#include "formats/AuditLogFile.h"
#include "formats/FileClass.h"
#include "formats/FileStream.h"
#include "formats/SignatureFile.h"
#include "formats/TolvexBinaryFile.h"
#include "formats/formats_test.h"
#include "platform/win32/files.h"

using namespace kxtest;

namespace {

using ManagerTest = FormatsTest;

std::string SaveNew(CFileManager& manager, const char* marker, const std::string& path) {
  std::unique_ptr<CBaseKesmoraFile> f(manager.CreateFileObject(marker));
  EXPECT_TRUE(f && f->Save(path.c_str())) << path;
  return path;
}

struct ThrowingFile {
  static CBaseKesmoraFile* Create() { throw std::bad_alloc(); }
};

}  // namespace

TEST_F(ManagerTest, RegistryOrderAndLookup) {
  CFileManager manager;
  std::unique_ptr<CBaseKesmoraFile> log(manager.CreateFileObject("KALF"));
  ASSERT_TRUE(log);
  EXPECT_NE(dynamic_cast<CAuditLogFile*>(log.get()), nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(log->GetMarker()), 4), "KALF");
  RegisterFileClasses();  // a second registration changes nothing
  const CFileClassArray& registry = GetFileClassRegistry();
  ASSERT_EQ(registry.GetPointerCount(), 5u);
  const char* order[] = {"KSGR", "KXTV", "KCLK", "KALF", "KETV"};
  const char* extensions[] = {"sgr", "tvx", "clk", "alf", "etv"};
  for (DWORD i = 0; i < 5; ++i) {
    EXPECT_STREQ(registry.GetAt(i)->m_pszMarker, order[i]);
    EXPECT_STREQ(registry.GetAt(i)->GetExtension(), extensions[i]);
    EXPECT_EQ(registry.GetAt(i)->m_pBaseClass, &g_fileClassBase);
  }
  const struct {
    const char* marker;
    const CFileClass* found;
  } rows[] = {{"kxtv", &g_fileClassTolvexBinary}, {"KeTv", &g_fileClassEncryptedTolvexBinary}, {"KXT", nullptr},
              {"KXTV ", nullptr}, {"", nullptr}, {"CBaseKesmoraFile", nullptr}};
  for (const auto& row : rows) EXPECT_EQ(FindFileClass(row.marker), row.found) << row.marker;
  std::unique_ptr<CBaseKesmoraFile> lower(manager.CreateFileObject("kxtv"));
  ASSERT_TRUE(lower);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(lower->GetMarker()), 4), "KXTV");
  EXPECT_TRUE(g_fileClassBase.GetMarker().IsEmpty());
  EXPECT_EQ(g_fileClassBase.CreateObject(), nullptr);
  CFileClass throwing("Throwing", &ThrowingFile::Create, &g_fileClassBase, "THRW");
  EXPECT_EQ(throwing.CreateObject(), nullptr);
  // The kind test follows the base records.
  std::unique_ptr<CBaseKesmoraFile> e(manager.CreateFileObject("KETV"));
  EXPECT_TRUE(e->IsKindOf(&g_fileClassBase));
  EXPECT_TRUE(e->IsKindOf(&g_fileClassEncryptedTolvexBinary));
  EXPECT_FALSE(e->IsKindOf(&g_fileClassTolvexBinary));
  // Reset leaves the registry to every other manager; the manager itself works again.
  manager.Reset();
  EXPECT_FALSE(manager.IsReady());
  EXPECT_EQ(registry.GetPointerCount(), 5u);
  std::unique_ptr<CBaseKesmoraFile> again(manager.CreateFileObject("KXTV"));
  EXPECT_TRUE(again);
  EXPECT_TRUE(manager.IsReady());
}

// Managers made, used and reset on many threads at once all find their classes.
TEST_F(ManagerTest, ManagersOnManyThreads) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&failures, t] {
      for (int i = 0; i < 200; ++i) {
        CFileManager manager;
        const char* marker = (i + t) % 2 ? "KXTV" : "KSGR";
        std::unique_ptr<CBaseKesmoraFile> f(manager.CreateFileObject(marker));
        CByteBuffer image;
        if (!f || !f->SaveToBuffer(image)) ++failures;
        manager.Reset();
        std::unique_ptr<CBaseKesmoraFile> back(manager.OpenBuffer(image, true, nullptr));
        if (!back) ++failures;
        manager.Reset();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(GetFileClassRegistry().GetPointerCount(), 5u);
}

TEST_F(ManagerTest, OpenFileExtensionFlagAndProbes) {
  CFileManager manager;
  std::string dir = MakeTempDir();
  MakeTempDir("tvx");
  const struct {
    std::string path;
    BYTE flag;
  } rows[] = {{dir + "/a.tvx", 0}, {dir + "/b.TVX", 0}, {dir + "/c.pdf", 1}, {kxtest::Root() + "/tvx/d.bin", 1},
              {dir + "/e.tvx.bak", 1}};
  for (const auto& row : rows) {
    SaveNew(manager, "KXTV", row.path);
    std::unique_ptr<CBaseKesmoraFile> f(manager.OpenFile(row.path.c_str()));
    ASSERT_TRUE(f) << row.path;
    EXPECT_EQ(f->GetCallerFlag(), row.flag) << row.path;
    EXPECT_STREQ(f->GetFilePath().GetAnsi(), row.path.c_str());
  }
  SaveNew(manager, "KSGR", dir + "/s.sgr");
  WriteFile(dir + "/text.txt", "plain text, not a family file");
  EXPECT_TRUE(manager.IsKnownFile((dir + "/s.sgr").c_str()));
  EXPECT_FALSE(manager.IsKnownFile((dir + "/text.txt").c_str()));
  EXPECT_FALSE(manager.IsKnownFile((dir + "/missing").c_str()));
  EXPECT_EQ(manager.OpenFile((dir + "/text.txt").c_str()), nullptr);
  EXPECT_EQ(manager.GetResultList().GetCount(), 5u);
  // A signature file's body extraction leaves the leading-fields code, although it loads.
  std::unique_ptr<CBaseKesmoraFile> s(manager.OpenFile((dir + "/s.sgr").c_str()));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->GetResultCode(), KX_E_CONTENT_NOT_PROCESSED);
  // LoadObject and SaveObject on an object made elsewhere.
  CAuditLogFile log;
  EXPECT_FALSE(manager.SaveObject(&log, ""));
  SaveNew(manager, "KALF", dir + "/l.alf");
  EXPECT_TRUE(manager.LoadObject((dir + "/l.alf").c_str(), &log));
  EXPECT_TRUE(manager.SaveObject(&log, ""));  // to its own path
  EXPECT_EQ(log.GetContentHandler() != nullptr, true);
}

TEST_F(ManagerTest, OpenBufferAndVariant) {
  CFileManager manager;
  std::unique_ptr<CBaseKesmoraFile> f(manager.CreateFileObject("KSGR"));
  CByteBuffer image;
  ASSERT_TRUE(f->SaveToBuffer(image));
  std::unique_ptr<CBaseKesmoraFile> back(manager.OpenBuffer(image, true, nullptr));
  ASSERT_TRUE(back);
  // A registered marker over bytes that do not parse: with delete-on-failure clear the object comes back
  // with the content code, which the protected file reported as 0.
  std::string bad = "KXTV" + std::string(30, '\0');
  std::unique_ptr<CBaseKesmoraFile> kept(manager.OpenBuffer(BufferOf(bad), false, nullptr));
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->GetResultCode(), KX_E_CONTENT_NOT_PROCESSED);
  EXPECT_EQ(manager.OpenBuffer(BufferOf(bad), true, nullptr), nullptr);
  for (const char* tiny : {"", "K", "KXT"}) EXPECT_EQ(manager.OpenBuffer(BufferOf(tiny), false, nullptr), nullptr);
  EXPECT_EQ(manager.OpenBuffer(BufferOf("ABCD" + std::string(60, '\0')), false, nullptr), nullptr);

  // Through a safe array: the image variant of a file, returned by value, opens again.
  auto make = [](CBaseKesmoraFile* file) {
    CFileImageVariant v(file);
    return v;
  };
  CFileImageVariant carried = make(f.get());
  f.reset();
  ASSERT_TRUE(carried.HasArray());
  std::unique_ptr<CBaseKesmoraFile> fromVariant(carried.OpenFileObject());
  ASSERT_TRUE(fromVariant);
  EXPECT_NE(dynamic_cast<CSignatureFile*>(fromVariant.get()), nullptr);
  EXPECT_EQ(fromVariant->GetContentHandler(), nullptr);  // the temporary manager is gone
  std::unique_ptr<CBaseKesmoraFile> viaManager(manager.OpenVariant(*carried.GetVariant(), true, nullptr));
  EXPECT_TRUE(viaManager);
  VARIANT empty;
  VariantInit(&empty);
  EXPECT_EQ(manager.OpenVariant(empty, true, nullptr), nullptr);
  EXPECT_EQ(CFileImageVariant().OpenFileObject(), nullptr);
}

TEST_F(ManagerTest, ScanFolderModes) {
  CFileManager manager;
  std::string dir = MakeTempDir("presets");
  SaveNew(manager, "KCLK", dir + "/KX_ONECLICK_1.clk");
  SaveNew(manager, "KCLK", dir + "/KX_ONECLICK_2.clk");
  WriteFile(dir + "/broken.clk", "KCLK and nothing else");
  WriteFile(dir + "/notes.clk", "not a preset");
  MakeTempDir("presets/sub.clk");
  SaveNew(manager, "KALF", dir + "/log.alf");

  EXPECT_TRUE(manager.ScanFolderEx(dir.c_str(), "*.clk", 4, 0, true));
  ASSERT_EQ(manager.GetPathList().GetCount(), 2u);
  EXPECT_EQ(manager.GetFileObjectList().GetCount(), 2u);
  EXPECT_STREQ(manager.GetPathList().GetAt(0).GetAnsi(), (dir + "/KX_ONECLICK_1.clk").c_str());
  // Header only: the broken preset's header is enough.
  EXPECT_TRUE(manager.ScanFolderEx(dir.c_str(), "*.clk", 0, 0, true));
  EXPECT_EQ(manager.GetPathList().GetCount(), 3u);
  // Without clearing, a second scan appends.
  EXPECT_TRUE(manager.ScanFolderEx(dir.c_str(), "*.alf", 4, 0, false));
  EXPECT_EQ(manager.GetPathList().GetCount(), 4u);
  // Mode 2 skips a log whose body begins with a zero count.
  EXPECT_FALSE(manager.ScanFolderEx(dir.c_str(), "*.alf", 2, 0, true));
  EXPECT_EQ(manager.GetPathList().GetCount(), 0u);
  EXPECT_TRUE(manager.ScanFolder(dir.c_str(), "*.*", false, 0));
  EXPECT_EQ(manager.GetPathList().GetCount(), 3u);
  EXPECT_FALSE(manager.ScanFolderEx((dir + "/missing").c_str(), "*.clk", 4, 0, true));
  manager.Reset();
  EXPECT_EQ(manager.GetFileObjectList().GetCount(), 0u);
}

TEST_F(ManagerTest, DeleteFolderKeepsLinkTargets) {
  CFileManager manager;
  std::string outside = MakeTempDir("outside");
  WriteFile(outside + "/keep.txt", "keep me");
  std::string dir = MakeTempDir("doomed");
  MakeTempDir("doomed/sub");
  WriteFile(dir + "/a.txt", "a");
  WriteFile(dir + "/sub/b.txt", "b");
  ASSERT_EQ(kxtest::Run("chmod a-w '" + dir + "/a.txt' && ln -s '" + outside + "' '" + dir + "/link'"), 0);
  EXPECT_EQ(manager.DeleteFolder(dir.c_str(), true), 0u);
  EXPECT_EQ(GetFileAttributesA(dir.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ReadFile(outside + "/keep.txt"), "keep me");
}

TEST_F(ManagerTest, StreamsFromTheManager) {
  CFileManager manager;
  std::unique_ptr<CFileStream> missing(manager.CreateStream((Root() + "/no/such/folder/x.tvx").c_str()));
  ASSERT_TRUE(missing);
  EXPECT_FALSE(missing->IsOpen());
  std::unique_ptr<CFileStream> notThere(manager.OpenStream((Root() + "/absent.tvx").c_str()));
  ASSERT_TRUE(notThere);
  EXPECT_FALSE(notThere->IsOpen());
  EXPECT_EQ(notThere->GetLastOpenError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}
