// Shared set-up of the archive and package wizard tests: the frame's application with its resources, COM and
// the test PKI, one-click presets, folders of files, and the steps a person takes in the wizards.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "certsel/certsel_fixture.h"
#include "engine/engine_test.h"
#include "formats/TolvexBinaryFile.h"

extern "C" int DisplayArchiveWizard(HWND parent);
extern "C" int DisplayPackageWizard(int, int);

namespace archwiz {

using kxtest::AnswerPage;
using kxtest::Page;
using Files = std::map<std::string, std::string>;

// A protected file as a reader sees it: its object and its content blocks.
struct ProtectedFile {
  std::unique_ptr<CTolvexBinaryFileBase> object;
  std::vector<std::string> blocks;
};

class ArchWizTest : public certsel::CertSelTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A one-click preset of that kind (0 encrypt, 1 sign, 2 sign and encrypt, 3 countersign) with AES-256, the
  // recipients and the signers; its path.
  std::string WritePreset(const std::string& name, BYTE kind, const std::vector<CCapicomCertificate>& signers,
                          const std::vector<CCapicomCertificate>& recipients);
  // Files (name relative to folder -> bytes) written below folder.
  static void WriteTree(const std::string& folder, const Files& files);
  // The files below folder, by name relative to it.
  static Files ReadTree(const std::string& folder);
  static ProtectedFile ReadProtected(const std::string& path);
  // Runs a command; its exit status, with what it printed in *out.
  static int Sh(const std::string& command, std::string* out = nullptr);
  static std::string Quote(const std::string& s) { return "'" + s + "'"; }

  std::string m_work;
};

// ---- steps in the wizards ----
void Next(kx::UiDriver& d, HWND sheet);
void Back(kx::UiDriver& d, HWND sheet);
// The page's control by id.
inline HWND Item(kx::UiDriver& d, HWND page, int id) { return d.Control(page, id); }
// Hands a page the preset the one-click chooser would return (the chooser's own window belongs to the
// one-click operations and is not built yet); run on the page's thread.
void TakeArchivePreset(kx::UiDriver& d, HWND page, const std::string& path);
void TakePackagePreset(kx::UiDriver& d, HWND page, const std::string& path);
// Waits until the wizard button is visible and enabled.
void WaitForButton(kx::UiDriver& d, HWND sheet, int id);
std::string Shot(const char* name);

}  // namespace archwiz
