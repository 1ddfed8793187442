#include "settings/UsrSetupPresets.h"

#include <memory>

#include "encryption/OneClickPresets.h"
#include "formats/FileManager.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/win32/files.h"
#include "signing/ProtectWizardData.h"

namespace kx::usersetup {

bool ScanPresets(CFileManager& files, const char* folder) {
  if (!files.Initialize()) return false;
  return files.ScanFolderEx(folder, "*.clk", 4, 0, true);
}

CBaseKesmoraFile* FindPresetByKind(const CFileManager& files, BYTE kind) {
  const CFileObjectArray& objects = files.GetFileObjectList();
  for (DWORD i = 0; i < objects.GetCount(); ++i) {
    CBaseKesmoraFile* object = objects.GetAt(i);
    const BYTE* options = object ? object->GetOptions() : nullptr;
    if (options && options[0] == kind) return object;
  }
  return nullptr;
}

bool WritePreset(CProtectWizardData& data, BYTE kind, const CString& address, const CString& path) {
  static const char* const kWords[] = {"Encrypt", "Sign", "SignEncrypt"};
  if (kind > kCountersignPreset || path.IsEmpty()) return false;
  CFileManager files;
  std::unique_ptr<CBaseKesmoraFile> object(files.CreateFileObject("KCLK"));
  auto* preset = dynamic_cast<COneClickFile*>(object.get());
  if (!preset) return false;
  // The preset is filled through the operation data, which is put back as it was afterwards.
  const int mode = data.m_nMode;
  const CString name = data.m_strPresetName;
  data.m_nMode = kind;
  data.m_strPresetName = kind < kCountersignPreset ? address + "(" + kWords[kind] + ")" : address;
  bool written = kx::oneclick::FillPreset(*preset, data) && preset->Save(path);
  data.m_nMode = mode;
  data.m_strPresetName = name;
  if (!written) DeleteFile(path);
  object.reset();
  files.Reset();
  return written;
}

}  // namespace kx::usersetup
