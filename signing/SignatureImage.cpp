#include "signing/SignatureImage.h"

#include <sys/stat.h>
#include <unistd.h>

#include "core/Win32File.h"
#include "formats/FileManager.h"
#include "formats/SignatureFile.h"
#include "platform/win32/files.h"

namespace kx::signing {

namespace {

// The private folder, with a trailing separator; empty when it is not ours alone.
CString PrivateFolder() {
  char temp[MAX_PATH + 1] = "";
  DWORD n = GetTempPath(sizeof temp, temp);
  if (n == 0 || n > MAX_PATH) return CString();
  CString folder;
  folder.Format("%sKXDrawPage-%u", temp, static_cast<unsigned>(geteuid()));
  if (mkdir(folder, 0700) != 0 && errno != EEXIST) return CString();
  // An existing name must be a real folder of this user, not a link someone left for us.
  struct stat st{};
  if (lstat(folder, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return CString();
  if ((st.st_mode & 0777) != 0700 && chmod(folder, 0700) != 0) return CString();
  return folder + "/";
}

}  // namespace

CString DrawingTempPath(const char* name) {
  CString folder = PrivateFolder();
  return folder.IsEmpty() ? folder : folder + name;
}

void RemoveDrawingTempFile(const char* name) {
  CString path = DrawingTempPath(name);
  if (!path.IsEmpty()) DeleteFile(path);
}

CSignatureFile* NewSignatureFile(CBaseFileManager& manager, const CString& name) {
  CBaseKesmoraFile* made = manager.CreateFileObject("KSGR");
  auto* file = dynamic_cast<CSignatureFile*>(made);
  if (!file) {
    delete made;
    return nullptr;
  }
  static const BYTE kOptions[8] = {0, 0, 0, 0, 0, 0, 0, 1};
  const DWORD optionCount = sizeof kOptions;
  file->SetOptions(kOptions, optionCount);
  file->SetCreationDate();
  file->SetCreationTime();
  file->SetTextB(name);
  return file;
}

CSignatureFile* OpenSignatureFile(CBaseFileManager& manager, const char* path) {
  if (!path || !*path) return nullptr;
  CBaseKesmoraFile* opened = manager.OpenFile(path);
  // Another kind of family file is no signature, whatever it holds.
  auto* file = dynamic_cast<CSignatureFile*>(opened);
  if (!file) delete opened;
  return file;
}

bool ReadWholeFile(const char* path, CByteBuffer& out) {
  out.Free(false);
  if (!path || !*path) return false;
  CWin32File file(path);
  if (!file.IsOpen() || FAILED(file.ReadAll())) return false;
  out = file.m_buffer;
  return true;
}

}  // namespace kx::signing
