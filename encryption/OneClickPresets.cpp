#include "encryption/OneClickPresets.h"

#include "core/FileSearch.h"
#include "certificates/TrustLists.h"
#include "formats/FileManager.h"
#include "engine/CapicomCertificates.h"
#include "formats/TolvexBinaryFile.h"
#include "signing/ProtectWizardData.h"
#include "signing/WorkerSupport.h"

namespace kx::oneclick {

CString PresetFolder() { return certmgr::GetOneClickFolder(); }

int ScanPresetFolder(CFileManager& files) {
  const CString folder = PresetFolder();
  files.Reset();
  if (folder.IsEmpty()) return 0;
  const bool separated = folder[folder.GetLength() - 1] == '/';
  // A folder that exists lists "." first; a missing one lists nothing.
  CFileSearch search;
  if (!search.FindFile(folder + (separated ? "*.*" : "/*.*"))) return 0;
  search.Close();
  CString scanned = folder;
  if (separated && scanned.GetLength() > 1) scanned = scanned.Left(scanned.GetLength() - 1);
  files.ScanFolderEx(scanned, "*.clk", 4, 0, true);
  return static_cast<int>(files.GetPathList().GetCount());
}

CString PresetPath(const CString& folder, DWORD number) {
  CString path;
  path.Format("%s%sKX_ONECLICK_%d.clk", static_cast<const char*>(folder),
              !folder.IsEmpty() && folder[folder.GetLength() - 1] == '/' ? "" : "/", static_cast<int>(number));
  return path;
}

COneClickFile* OpenPreset(CFileManager& files, const char* path) {
  if (!path || !*path) return nullptr;
  CBaseKesmoraFile* object = files.OpenFile(path);
  // Only a preset: other files of the family lack its certificate lists.
  auto* preset = dynamic_cast<COneClickFile*>(object);
  if (!preset) delete object;
  return preset;
}

bool FillPreset(COneClickFile& preset, const CProtectWizardData& data) {
  const int mode = data.m_nMode;
  if (mode < 0 || mode > 3) return false;
  const bool sign = mode != 0, encrypt = mode == 0 || mode == 2;
  PayloadInfo& info = preset.m_info;
  info.m_strText3 = data.m_strPresetName;
  // The flags every preset carries, and the one that marks a countersigning preset.
  for (int i = 2; i <= 5; ++i) info.m_body.m_abFlags[i] = 1;
  info.m_bEncryptedContent = mode == 3 ? 1 : 0;
  PayloadEntry entry = data.m_Payload;
  entry.m_bFlag = entry.m_strText1.IsEmpty() ? 0 : 1;
  info.m_body.m_current = entry;
  info.m_encryption.m_bSecondFlag = 1;
  for (const CCapicomCertificate& certificate : data.m_arrSignerCerts)
    kx::signing::AddCertificateTriple(info.m_signing.m_list, certificate);
  if (encrypt) {
    info.m_body.m_abFlags[1] = 1;
    info.m_encryption.m_bPresent = 1;
    info.m_body.m_nested.m_bCipherIndex = static_cast<BYTE>(data.m_nCipher);
    info.m_body.m_nested.m_bKeyLengthIndex = static_cast<BYTE>(data.m_nKeyLength);
  }
  if (sign) info.m_signing.m_bPresent = 1;
  kx::signing::StampHeader(preset, static_cast<BYTE>(mode));
  if (!info.m_body.AddEntry(entry)) return false;
  for (const CCapicomCertificate& certificate : data.m_arrRecipientCerts)
    kx::signing::AddCertificateTriple(info.m_encryption.m_list, certificate);
  CCertificateList recipients, signers;
  for (const CCapicomCertificate& certificate : data.m_arrRecipientCerts) recipients.Add(certificate);
  for (const CCapicomCertificate& certificate : data.m_arrSignerCerts) signers.Add(certificate);
  return preset.m_oneClickRecord.SetRecipientCertificates(recipients) &&
         preset.m_oneClickRecord.SetSignerCertificates(signers);
}

}  // namespace kx::oneclick
