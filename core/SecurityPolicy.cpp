#include "core/SecurityPolicy.h"

#include <cstring>
#include <vector>

#include "core/WindowsVersion.h"
#include "platform/win32/errors.h"
#include "platform/win32/heap.h"
#include "platform/win32/registry.h"
#include "platform/win32/sync.h"

namespace {

const char* const kValueNames[CSecurityPolicy::kCount] = {
    "ConfigurationManager", "CertificateCreationWizard", "SystemProfile",    "OneClickSettings",
    "MailTolvexProfile",    "DiskTolvexProfile",         "ShredderProfile", "SmartcardProfile",
};

// Windows 98, 98 SE and Me have no access lists and count every user as an administrator.
bool IsWindows9x() {
  WindowsVersionRecord v;
  if (!CWindowsVersion::GetVersionInfo(&v)) return false;
  return CWindowsVersion::IsWindows98(&v) || CWindowsVersion::IsWindows98SE(&v) || CWindowsVersion::IsWindowsMe(&v);
}

// Whether an enabled group of the current token equals sid.
BOOL TokenHasGroup(PSID sid) {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
    if (GetLastError() != 1008 /* ERROR_NO_TOKEN */) return FALSE;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return FALSE;
  }
  // The size first, then the whole list, however many groups the user has.
  DWORD needed = 0;
  GetTokenInformation(token, TokenGroups, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed ? needed : sizeof(TOKEN_GROUPS));
  BOOL ok = GetTokenInformation(token, TokenGroups, buffer.data(), static_cast<DWORD>(buffer.size()), &needed);
  CloseHandle(token);
  if (!ok) return FALSE;
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    DWORD attributes = groups->Groups[i].Attributes;
    bool counts = (attributes & SE_GROUP_ENABLED) && !(attributes & SE_GROUP_USE_FOR_DENY_ONLY);
    if (counts && EqualSid(groups->Groups[i].Sid, sid)) return TRUE;
  }
  return FALSE;
}

// Closes its key when it goes out of scope.
struct KeyHolder {
  HKEY key = nullptr;
  ~KeyHolder() {
    if (key) RegCloseKey(key);
  }
};

}  // namespace

// ---- security object wrappers ----

CSecurityId::CSecurityId(int kind) {
  SID_IDENTIFIER_AUTHORITY nullAuthority = SECURITY_NULL_SID_AUTHORITY, world = SECURITY_WORLD_SID_AUTHORITY,
                           creator = SECURITY_CREATOR_SID_AUTHORITY, nt = SECURITY_NT_AUTHORITY;
  switch (kind) {
    case 0: Init(nullAuthority, 1, SECURITY_NULL_RID); break;
    case 1: Init(world, 1, SECURITY_WORLD_RID); break;
    case 2: Init(creator, 1, SECURITY_CREATOR_OWNER_RID); break;
    case 3: Init(creator, 1, SECURITY_CREATOR_GROUP_RID); break;
    case 4: Init(nt, 1, SECURITY_INTERACTIVE_RID); break;
    case 5: Init(nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS); break;
    case 6: Init(nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS); break;
    case 7: Init(nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_GUESTS); break;
    case 8: Init(nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_POWER_USERS); break;
    default: break;
  }
}

CSecurityId::~CSecurityId() { Free(); }

void CSecurityId::Free() {
  if (m_pSid) {
    if (m_bAllocated)
      FreeSid(m_pSid);
    else
      delete[] static_cast<BYTE*>(m_pSid);
  }
  m_pSid = nullptr;
  m_bAllocated = false;
}

bool CSecurityId::Init(SID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1, DWORD s2, DWORD s3,
                       DWORD s4, DWORD s5, DWORD s6, DWORD s7) {
  Free();
  PSID sid = nullptr;
  if (!AllocateAndInitializeSid(&authority, count, s0, s1, s2, s3, s4, s5, s6, s7, &sid)) return false;
  m_pSid = sid;
  m_bAllocated = true;
  return true;
}

bool CSecurityId::InitDomainAdmins() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  return Init(nt, 2, DOMAIN_USER_RID_ADMIN, DOMAIN_GROUP_RID_ADMINS);
}

CAccessControlList::~CAccessControlList() {
  if (m_pAcl) LocalFree(m_pAcl);
}

DWORD CAccessControlList::SetEntries(ULONG count, EXPLICIT_ACCESS_A* entries) {
  PACL created = nullptr;
  DWORD rc = SetEntriesInAclA(count, entries, m_pAcl, &created);
  if (rc == 0) {
    if (m_pAcl) LocalFree(m_pAcl);
    m_pAcl = created;
  }
  return rc;
}

CSecurityDescriptorBlock::CSecurityDescriptorBlock() {
  BYTE* block = new BYTE[SECURITY_DESCRIPTOR_MIN_LENGTH]();
  m_pDescriptor = block;
  InitializeSecurityDescriptor(m_pDescriptor, SECURITY_DESCRIPTOR_REVISION);
}

CSecurityDescriptorBlock::~CSecurityDescriptorBlock() { delete[] static_cast<BYTE*>(m_pDescriptor); }

bool CSecurityDescriptorBlock::SetDacl(BOOL present, PACL list, BOOL defaulted) {
  return SetSecurityDescriptorDacl(m_pDescriptor, present, list, defaulted) != FALSE;
}

void InitTrusteeWithSid(TRUSTEE_A* trustee, TRUSTEE_TYPE type, PSID sid) {
  trustee->pMultipleTrustee = nullptr;
  trustee->MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
  trustee->TrusteeForm = TRUSTEE_IS_SID;
  trustee->TrusteeType = type;
  trustee->ptstrName = static_cast<LPSTR>(sid);
}

void InitExplicitAccess(EXPLICIT_ACCESS_A* entry, DWORD permissions, ACCESS_MODE mode, DWORD inheritance,
                        const TRUSTEE_A& trustee) {
  entry->grfAccessPermissions = permissions;
  entry->grfAccessMode = mode;
  entry->grfInheritance = inheritance;
  entry->Trustee = trustee;
}

void InitSecurityAttributes(SECURITY_ATTRIBUTES* attributes, PSECURITY_DESCRIPTOR descriptor, BOOL inherit) {
  attributes->nLength = sizeof(SECURITY_ATTRIBUTES);
  attributes->lpSecurityDescriptor = descriptor;
  attributes->bInheritHandle = inherit;
}

// ---- CSecurityPolicy ----

CSecurityPolicy::CSecurityPolicy() {
  BYTE* switches[kCount] = {&m_bConfigurationManager, &m_bCertificateCreationWizard, &m_bSystemProfile,
                            &m_bOneClickSettings,     &m_bMailTolvexProfile,         &m_bDiskTolvexProfile,
                            &m_bShredderProfile,      &m_bSmartcardProfile};
  for (int i = 0; i < kCount; ++i) m_entries[i] = {switches[i], kValueNames[i]};
}

const char* CSecurityPolicy::ValueName(int index) {
  return index >= 0 && index < kCount ? kValueNames[index] : nullptr;
}

bool CSecurityPolicy::Load(bool forceSmartcard) {
  bool result = false;
  KeyHolder k;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kKeyPath, &k.key) == ERROR_SUCCESS) {
    for (Entry& e : m_entries) {
      BYTE value[4] = {};
      DWORD size = sizeof value;
      // A missing value, or one that is not a 4-byte number, locks its area.
      if (RegQueryValueExA(k.key, e.name, nullptr, nullptr, value, &size) != ERROR_SUCCESS || size != 4)
        *e.value = 0;
      else
        *e.value = (value[0] | value[1] | value[2] | value[3]) ? 1 : 0;
    }
    result = true;
  } else {
    k.key = nullptr;
  }
  if (forceSmartcard) {
    m_bSmartcardProfile = 1;
    result = true;
  }
  return result;
}

bool CSecurityPolicy::Save() {
  KeyHolder k;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kKeyPath, &k.key) != ERROR_SUCCESS) {
    k.key = nullptr;
    return false;
  }
  // Every value is attempted; a refused write (a user who may only read the policy) makes the save fail.
  bool all = true;
  for (const Entry& e : m_entries) {
    BYTE value[4] = {static_cast<BYTE>(*e.value ? 1 : 0), 0, 0, 0};
    if (RegSetValueExA(k.key, e.name, 0, REG_DWORD, value, 4) != ERROR_SUCCESS) all = false;
  }
  return all;
}

bool CSecurityPolicy::CreateKey() {
  if (IsWindows9x()) {
    KeyHolder k;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kKeyPath, &k.key) != ERROR_SUCCESS) {
      k.key = nullptr;
      return false;
    }
    return Save();
  }
  CSecurityId everyone(1);
  CSecurityId admins(6);
  if (UseDomainAdminGroup) admins.InitDomainAdmins();
  if (!everyone.Get() || !admins.Get()) return false;

  EXPLICIT_ACCESS_A entries[2];
  TRUSTEE_A trustee;
  InitTrusteeWithSid(&trustee, TRUSTEE_IS_WELL_KNOWN_GROUP, everyone.Get());
  InitExplicitAccess(&entries[0], KEY_READ, SET_ACCESS, NO_INHERITANCE, trustee);
  InitTrusteeWithSid(&trustee, TRUSTEE_IS_GROUP, admins.Get());
  InitExplicitAccess(&entries[1], KEY_ALL_ACCESS, SET_ACCESS, NO_INHERITANCE, trustee);

  CAccessControlList acl;
  if (acl.SetEntries(2, entries) != 0) return false;
  CSecurityDescriptorBlock descriptor;
  if (!descriptor.SetDacl(TRUE, acl.Get(), FALSE)) return false;
  SECURITY_ATTRIBUTES attributes;
  InitSecurityAttributes(&attributes, descriptor.Get(), FALSE);

  KeyHolder k;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, nullptr, 0, KEY_READ | KEY_WRITE, &attributes, &k.key,
                      nullptr) != ERROR_SUCCESS) {
    k.key = nullptr;
    return false;
  }
  return Save();
}

BOOL IsUserInAdminGroup() {
  if (IsWindows9x()) return TRUE;
  CSecurityId admins(6);
  if (!admins.Get()) return FALSE;
  return TokenHasGroup(admins.Get());
}

BOOL IsUserInDomainAdminGroup() {
  CSecurityId domainAdmins;
  if (!domainAdmins.InitDomainAdmins()) return FALSE;
  return TokenHasGroup(domainAdmins.Get());
}
