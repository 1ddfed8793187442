// The zip component through its wrapper: the zip files it writes pass unzip and Python's zipfile.
#include <string>

#include <gtest/gtest.h>

#include "archives/ZipComponent.h"
#include "platform/com/combase.h"
#include "platform/services/zipcomponent.h"
#include "support/testroot.h"

namespace {

class ZipComponentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    d = kxtest::MakeTempDir("zipcom");
  }
  void TearDown() override {
    kx::RegisterClassModule(CLSID_ZipComponent, kZipComponentModule);
    CoUninitialize();
  }
  std::string d;
};

TEST_F(ZipComponentTest, PacksThePackage) {
  std::string package = d + "/Package.exe", zipPath = package + ".Zip";
  kxtest::WriteFile(package, std::string(20000, 'p') + "tail");
  CZipComponent zip;
  EXPECT_NE(zip.AddPath(package.c_str(), 9), 0);  // before Create
  ASSERT_TRUE(zip.Create(zipPath.c_str()));
  std::string out;
  // An empty zip file is whole too (unzip only says it is empty).
  EXPECT_EQ(kxtest::Run("python3 -c \"import zipfile,sys; print(zipfile.ZipFile(sys.argv[1]).namelist())\" '" +
                            zipPath + "'",
                        &out),
            0);
  EXPECT_EQ(out, "[]\n");
  ASSERT_EQ(zip.AddPath(package.c_str(), 9), 0);
  EXPECT_NE(zip.AddPath((d + "/missing").c_str(), 9), 0);
  EXPECT_NE(zip.AddPath(package.c_str(), 10), 0);
  ASSERT_EQ(kxtest::Run("unzip -tq '" + zipPath + "'", &out), 0) << out;
  EXPECT_NE(out.find("No errors"), std::string::npos) << out;
  ASSERT_EQ(kxtest::Run("python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                        "print(z.namelist(), z.read('Package.exe')==open(sys.argv[2],'rb').read(), "
                        "z.getinfo('Package.exe').compress_type)\" '" + zipPath + "' '" + package + "'",
                        &out),
            0)
      << out;
  EXPECT_EQ(out, "['Package.exe'] True 8\n");
}

TEST_F(ZipComponentTest, ComponentThatCannotBeMade) {
  std::string zipPath = d + "/p.Zip";
  kx::UnregisterClass(CLSID_ZipComponent);
  CZipComponent unregistered;
  EXPECT_FALSE(unregistered.Create(zipPath.c_str()));
  EXPECT_NE(unregistered.AddPath(zipPath.c_str(), 9), 0);
  kx::RegisterClassModule(CLSID_ZipComponent, "KXNoSuchZip.DLL");
  CZipComponent noModule;
  EXPECT_FALSE(noModule.Create(zipPath.c_str()));
  // A zip file that cannot be created (no such folder).
  kx::RegisterClassModule(CLSID_ZipComponent, kZipComponentModule);
  CZipComponent noFolder;
  EXPECT_FALSE(noFolder.Create((d + "/none/p.Zip").c_str()));
}

}  // namespace
