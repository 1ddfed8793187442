// The user set-up run and the certificate it obtains.
#include "settings/UsrSetupRun.h"

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/FailureReport.h"
#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "app/UserFolders.h"
#include "certificates/CWizard.h"
#include "certificates/CacheCleanup.h"
#include "certificates/CertSheet.h"
#include "certificates/CreateCertificate.h"
#include "core/Win32File.h"
#include "encryption/OneClickPresets.h"
#include "engine/CapicomStore.h"
#include "engine/CertPolicy.h"
#include "enrolment/VorlindEnrolmentProxy.h"
#include "platform/com/bstr.h"
#include "platform/com/combase.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/files.h"
#include "platform/win32/registry.h"
#include "platform/win32/sync.h"
#include "platform/win32/textconv.h"
#include "settings/UserProfileSetupWizard.h"
#include "settings/UsrSetupPresets.h"

namespace {

constexpr const char kProfilesKey[] = "Software\\Kesmora\\MailTolvex\\Profiles";
constexpr const char kMailUsage[] = "1.3.6.1.5.5.7.3.4";
// What the enrolment service expects in front of a request, and the password of the PKCS#12 it answers with.
constexpr const char kRequestPrefix[] = "rudezuVIZ";
constexpr const char kAnswerPassword[] = "Quartermaster";
constexpr DWORD kPause = 1000;

CString Joined(std::initializer_list<UINT> ids, const char* between = " ") {
  CString text;
  for (UINT id : ids) text += (text.IsEmpty() ? CString() : CString(between)) + LoadResString(id);
  return text;
}

// A value of an X.500 name text, in quotes (inner quotes doubled) when it holds a character of the syntax or
// starts or ends with a blank.
std::string NameValue(const CString& value) {
  std::string text = value.GetString();
  const bool plain = !text.empty() && text.front() != ' ' && text.back() != ' ' &&
                     text.find_first_of(",;+=\"<>#\r\n") == std::string::npos;
  if (plain) return text;
  std::string quoted = "\"";
  for (char c : text) quoted.append(c == '"' ? 2 : 1, c);
  return quoted + "\"";
}

CString NameText(const std::vector<std::pair<const char*, CString>>& parts) {
  std::string text;
  for (const auto& [key, value] : parts) text += (text.empty() ? "" : ",") + std::string(key) + "=" + NameValue(value);
  return CString(text.c_str());
}

// The user's temporary folder, with its separator.
CString TempFolder() {
  char temp[4096] = "";
  GetTempPath(sizeof temp, temp);
  CString folder = temp;
  if (folder.Right(1) != "/") folder += "/";
  return folder;
}

// A certificate the suite's maker hands out with the library goes to the user's address book when it is there.
void AddMakerCertificate() {
  CWin32File file(TempFolder() + kLibraryTempFolder + "/kesmora_info.cer");
  if (!file.IsOpen() || file.ReadAll() != S_OK) return;
  try {
    CCapicomCertificate certificate;
    if (FAILED(certificate.ImportFromBuffer(file.m_buffer))) return;
    CCapicomStore book;
    if (book.Open(CAPICOM_CURRENT_USER_STORE, "AddressBook", CAPICOM_STORE_OPEN_READ_WRITE) == S_OK) book.Add(certificate);
  } catch (const _com_error& e) {
    kx::LogFailure("User Setup", kx::EngineText(e));
  }
}

// The user picks the certificate to use among the personal ones of the address (on the page's thread).
bool PickExistingCertificate(CUsrSetupFinishPage& page, const CString& address) {
  bool picked = false;
  page.RunOnPage([&] {
    AfxMessageBox("Certificate for this email address already exists.", MB_OK);
    CFormsObjectProvider provider;
    CBaseSheet* made = nullptr;
    provider.CreateSheetByName("CCertSheet", &page, &made);
    std::unique_ptr<CBaseSheet> owner(made);
    auto* picker = dynamic_cast<CCertSheet*>(made);
    if (!picker) return;
    CString title;
    title.Format(LoadResString(597), address.GetString());
    picker->SetTitle(title, 0);
    picker->m_bHosted = 0;
    picker->m_bSelectionMode = 1;
    picker->m_bMailFilter = 1;
    picker->m_strMailFilter = address;
    if (CWnd* origin = page.GetDlgItem(1043)) origin->GetWindowRect(&picker->m_rcOrigin);
    for (int i = 0; i < 2 && picker->GetPageCount() > 2; ++i) picker->RemovePage(2);
    if (picker->DoModal() == IDOK && !picker->m_ResultCertificate.IsEmpty()) {
      page.m_UserCertificate = picker->m_ResultCertificate;
      picked = true;
    }
  });
  return picked;
}

// Installs the certificate and key of the service's PKCS#12 answer in the user's "My" store. The file holding it
// is readable by the user only and never outlives the call.
bool InstallAnswer(CUsrSetupFinishPage& page, const CByteBuffer& answer) {
  const CString folder = TempFolder();
  char name[4096] = "";
  if (!GetTempFileName(folder, "enr", 0, name)) return false;
  DeleteFile(name);
  std::string pfx = name;
  pfx = pfx.substr(0, pfx.rfind('.')) + ".pfx";
  int fd = ::open(pfx.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return false;
  const bool written = ::write(fd, answer.GetData(), answer.GetLength()) == static_cast<ssize_t>(answer.GetLength());
  ::close(fd);
  bool installed = false;
  UINT failure = 0;
  if (written) {
    try {
      CCapicomCertificate certificate;
      CCapicomStore my;
      if (FAILED(certificate.Load(pfx.c_str(), kAnswerPassword, CAPICOM_KEY_STORAGE_EXPORTABLE, CAPICOM_CURRENT_USER_KEY)))
        failure = 578;
      else if (my.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_WRITE) != S_OK)
        failure = 577;
      else if (FAILED(my.Add(certificate)))
        failure = 576;
      else
        installed = true;
    } catch (const _com_error&) {
      failure = 577;
    }
  }
  DeleteFile(pfx.c_str());
  if (failure == 578) page.Tell(Joined({578, 579}));
  else if (failure) page.Tell(LoadResString(failure));
  return installed;
}

// A request through the enrolment service, installed with its key; false after telling the user why not.
bool EnrolThroughService(CUsrSetupFinishPage& page, ICEnroll3* control, const CString& subject) {
  BSTR text = nullptr;
  if (!control || FAILED(control->createPKCS10(_bstr_t(subject.GetString()), _bstr_t(kMailUsage), &text)) || !text) {
    SysFreeString(text);
    page.Tell(Joined({603, 604}, " \n"));
    return false;
  }
  std::string request = kRequestPrefix + kx::Utf16ToUtf8(text, SysStringLen(text));
  SysFreeString(text);
  request.push_back('\0');
  CVorlindEnrolmentProxy proxy;
  CByteBuffer answer;
  CString error;
  if (!proxy.Initialize() ||
      !proxy.Generate(CByteBuffer(static_cast<DWORD>(request.size()), request.data(), false), answer, error)) {
    CString message;
    message.Format(LoadResString(602), error.GetString());
    page.Tell(message);
    return false;
  }
  return InstallAnswer(page, answer);
}

}  // namespace

namespace kx::usersetup {

CString ServiceSubject(const CString& fullName, const CString& address) {
  return NameText({{"E", address}, {"CN", fullName}});
}

CString LocalSubject(const CString& fullName, const CString& address) {
  // No country: "Demo" is not a two-letter country code, and a certificate cannot carry it.
  return NameText({{"CN", fullName}, {"OU", "Demo"}, {"O", "Demo"}, {"L", "Demo"}, {"S", "Demo"}, {"E", address}});
}

CString PresetCopyPath(const CString& folder, const CString& fullName, const CString& address, const CString& preset) {
  std::string base = (fullName + "_" + address).GetString();
  for (char& c : base)
    if (c == '.' || std::string("/\\:*?\"<>|").find(c) != std::string::npos || static_cast<unsigned char>(c) < 32)
      c = '_';
  std::string file = preset.GetString();
  file = file.substr(file.rfind('/') + 1);
  file = file.substr(0, file.rfind('.'));
  CString path = folder;
  if (path.Right(1) != "/") path += "/";
  return path + base.c_str() + file.c_str() + ".CLK";
}

}  // namespace kx::usersetup

bool CreateUserCertificate(CUsrSetupFinishPage& page, CUserProfileSetupWizard& sheet) {
  CCertCreationInfo& info = sheet.m_CreationInfo;
  const CMailProfileSettings& profile = sheet.m_Profile;
  info.m_nMode = 1;
  {
    CVorlindEnrolmentProxy proxy;
    CString answer;
    if (!proxy.Initialize() || !proxy.VerifyConnect(answer)) info.m_nMode = 0;
  }
  CCertEnroll enroll(kx::engine::kEmpty);
  try {
    enroll = CCertEnroll();
  } catch (const _com_error&) {
    // No enrolment control: the request below fails with its own message.
  }
  const CString subject = info.m_nMode == 1 ? kx::usersetup::ServiceSubject(profile.m_strFullName, profile.m_strEmailName)
                                            : kx::usersetup::LocalSubject(profile.m_strFullName, profile.m_strEmailName);
  info.m_strPurpose = kMailUsage;
  info.m_nProviderType = info.m_nKeyChoice == 2 ? 13 : 1;
  const char* algorithm = kx::certcreate::SignatureAlgorithmFor(info.m_nKeyChoice);
  ICEnroll3* control = enroll.GetInterfacePtr();
  if (control) {
    control->put_HashAlgorithm(_bstr_t(algorithm));
    control->put_ProviderName(_bstr_t(info.m_strProviderName.GetString()));
    control->put_ProviderType(static_cast<LONG>(info.m_nProviderType));
    control->put_KeySpec(static_cast<LONG>(info.m_nKeySpec));
    control->put_GenKeyFlags(static_cast<LONG>(kx::certcreate::KeyLengthFlags(info.m_nKeyLength) | CRYPT_EXPORTABLE));
  }

  bool made = false;
  if (info.m_nMode == 1) {
    made = EnrolThroughService(page, control, subject);
  } else {
    made = CreateCertificate(subject, info.m_nKeySpec, info.m_nKeyLength, algorithm, 0,
                             kx::certcreate::PurposeMaskFor(info.m_strPurpose), FALSE, TRUE, info.m_strProviderName,
                             info.m_nProviderType, "MY", TRUE, TRUE, "", "MY", TRUE, FALSE, "", "", "") != FALSE;
    if (!made) page.Tell(Joined({605, 606}));
  }
  if (!made) return false;
  CCapicomCertificate found(kx::engine::kEmpty);
  if (!CCertPolicy().FindCertificateByMail(profile.m_strEmailName, true, found, false, nullptr)) return false;
  page.m_UserCertificate = found;
  return true;
}

void RunUserSetup(CUsrSetupFinishPage* pagePtr, CUserProfileSetupWizard* sheet) {
  if (!pagePtr || !sheet) return;
  CUsrSetupFinishPage& page = *pagePtr;
  CProtectWizardData& data = sheet->m_WizardData;
  CMailProfileSettings& profile = sheet->m_Profile;
  data.PrepareForProfileSetup();

  CCapicomCertificate existing(kx::engine::kEmpty);
  if (CCertPolicy().FindCertificateByMail(profile.m_strEmailName, true, existing, false, nullptr)) {
    if (!PickExistingCertificate(page, profile.m_strEmailName)) {
      page.Tell(Joined({598, 599, 600}));
      return;
    }
  } else if (!CreateUserCertificate(page, *sheet)) {
    return;
  }
  data.AddRecipientCertificate(page.m_UserCertificate);
  data.AddSignerCertificate(page.m_UserCertificate);

  // The profile is registered; saving gives it its folder and preset paths, which the list's copy holds.
  CMailProfileList list(HKEY_CURRENT_USER, kProfilesKey);
  list.Load();
  list.AddProfile(profile);
  if (list.GetCount() == 1 || list.m_Default == CMailProfileList::kNoDefault) list.m_Default = 0;
  if (!list.SaveList()) return;
  profile = list.GetAt(list.GetCount() - 1);
  page.MarkStep(1, true);
  Sleep(kPause);

  AddMakerCertificate();

  struct Preset {
    BYTE kind;
    const CString& path;
  };
  const Preset presets[] = {{kx::usersetup::kEncryptPreset, profile.m_strEncOneClick},
                            {kx::usersetup::kSignPreset, profile.m_strSignOneClick},
                            {kx::usersetup::kSignEncryptPreset, profile.m_strSignEncOneClick}};
  for (int i = 0; i < 3; ++i) {
    if (!kx::usersetup::WritePreset(data, presets[i].kind, profile.m_strEmailName, presets[i].path)) {
      for (int row = 2 + i; row < CUsrSetupFinishPage::kStepCount; ++row) page.MarkStep(row, false);
      // No profile stays behind for a set-up that failed, nor the presets it wrote: its folder goes with it.
      for (int written = 0; written < i; ++written) DeleteFile(presets[written].path);
      // The stored copy is found by its own folder: a profile read back lacks the texts that are not stored.
      CMailProfileList again(HKEY_CURRENT_USER, kProfilesKey);
      again.Load();
      for (int index = 0; index < again.GetCount(); ++index) {
        if (again.GetAt(index).m_strDir != profile.m_strDir) continue;
        const CMailProfileSettings stored = again.GetAt(index);
        again.RemoveProfile(stored);
        again.SaveList();
        break;
      }
      return;
    }
    if (i < 2) {
      page.MarkStep(2 + i, true);
      Sleep(kPause);
    }
  }

  CString folder = kx::oneclick::PresetFolder();
  if (folder.IsEmpty()) folder = RecordOneClickFolder(GetDocumentsFolder());
  if (GetFileAttributes(folder) == INVALID_FILE_ATTRIBUTES) CreateDirectory(folder, nullptr);
  for (const Preset& preset : presets)
    CopyFile(preset.path,
             kx::usersetup::PresetCopyPath(folder, profile.m_strFullName, profile.m_strEmailName, preset.path), TRUE);
  page.MarkStep(4, true);
  Sleep(kPause);
}

UINT UserSetupThread(LPVOID argument) {
  auto* sheet = static_cast<CUserProfileSetupWizard*>(argument);
  if (!sheet) return 0;
  CUsrSetupFinishPage& page = sheet->m_FinishPage;
  CoInitialize(nullptr);
  page.MarkStep(0, true);
  Sleep(kPause);
  for (int row = 1; row < CUsrSetupFinishPage::kStepCount; ++row) page.MarkStep(row, false);
  RunUserSetup(&page, sheet);
  page.RunOnPage([&] {
    page.m_ctlProgress.StopAnimation();
    page.m_ctlProgress.ShowWindow(SW_HIDE);
  });
  if (HWND hwnd = sheet->GetSafeHwnd()) ::PostMessage(hwnd, PSM_SETWIZBUTTONS, 0, PSWIZB_FINISH);
  CoUninitialize();
  return 0;
}
