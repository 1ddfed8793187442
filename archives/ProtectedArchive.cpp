#include "archives/ProtectedArchive.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "engine/CapicomErrors.h"
#include "engine/CapicomObjectSet.h"
#include "formats/FileManager.h"
#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/win32/files.h"
#include "signing/SignSheet.h"
#include "signing/SignerWorkers.h"

namespace kx::archives {
namespace {

bool IsProtectedFile(const CString& path) {
  CFileManager manager;
  std::unique_ptr<CFileStream> stream(manager.OpenStream(path));
  if (!stream || !stream->IsOpen()) return false;
  std::unique_ptr<CBaseKesmoraFile> object(stream->ReadFileObject());
  return dynamic_cast<CTolvexBinaryFile*>(object.get()) != nullptr;
}

// A new folder of its own under the user's temporary folder; empty when none can be made.
CString MakeTemporaryFolder() {
  char base[MAX_PATH] = {};
  GetTempPath(sizeof base, base);
  CString pattern = CString(base);
  if (pattern.IsEmpty()) pattern = "/tmp/";
  if (pattern.Right(1) != "/") pattern += "/";
  pattern += "kxarchive-XXXXXX";
  std::string buffer(static_cast<const char*>(pattern));
  if (!mkdtemp(buffer.data())) return CString();
  return CString(buffer.c_str());
}

}  // namespace

int OpenProtectedArchive(const CString& path, CString& copy, CString& reason) {
  copy.Empty();
  reason.Empty();
  if (!IsProtectedFile(path)) return 0;
  const CString folder = MakeTemporaryFolder();
  if (folder.IsEmpty()) {
    reason = "No temporary folder could be made for the archive.";
    return -1;
  }
  try {
    // The signer wizard's decrypt-and-verify run on this one file, without its pages ever shown.
    CSignSheet sheet("", nullptr, 0);
    CProtectWizardData& data = sheet.m_WizardData;
    data.m_arrInputFiles.Add(path);
    data.m_strOutputFolder = folder + "/";
    data.m_nMode = 4;
    data.m_pEngineObjects = new CCapicomObjectSet;
    DecryptVerifyThreadProc(&sheet);
    const CStringArray& outputs = sheet.m_DecryptPage.m_arrOutputFiles;
    const CStringArray& results = sheet.m_DecryptPage.m_arrResults;
    if (outputs.GetSize() == 1 && outputs[0].CompareNoCase("Error") != 0) {
      copy = outputs[0];
      return 1;
    }
    reason = results.GetSize() > 0 ? results[0] : CString("The protected archive could not be read.");
  } catch (const _com_error& e) {
    reason = GetCapicomErrorMessage(e.Error()).GetAnsi();
  } catch (...) {
    reason = "The protected archive could not be read.";
  }
  ::rmdir(folder);
  return -1;
}

void RemoveProtectedCopy(const CString& copy) {
  if (copy.IsEmpty()) return;
  ::unlink(copy);
  const int slash = copy.ReverseFind('/');
  if (slash > 0) ::rmdir(copy.Left(slash));
}

}  // namespace kx::archives
