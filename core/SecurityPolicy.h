// The eight machine-wide policy switches under HKLM "SOFTWARE\Kesmora\OfficeTolvex\SecurityPolicy", the
// small wrappers of security objects that protect the key, and the admin-group checks.
#pragma once

#include "platform/win32/security.h"
#include "platform/win32/types.h"

// Uses the domain-admin group instead of the built-in administrators; never set in this system.
constexpr bool UseDomainAdminGroup = false;

class CSecurityId {
 public:
  // Well-known kinds: 0 null, 1 Everyone, 2 creator owner, 3 creator group, 4 interactive, 5 users,
  // 6 administrators, 7 guests, 8 power users; larger kinds leave it empty.
  CSecurityId() = default;
  explicit CSecurityId(int kind);
  virtual ~CSecurityId();
  CSecurityId(const CSecurityId&) = delete;
  CSecurityId& operator=(const CSecurityId&) = delete;

  // Frees the current SID first.
  bool Init(SID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0 = 0, DWORD s1 = 0, DWORD s2 = 0,
            DWORD s3 = 0, DWORD s4 = 0, DWORD s5 = 0, DWORD s6 = 0, DWORD s7 = 0);
  // S-1-5-500-512, the domain-admin variant.
  bool InitDomainAdmins();
  PSID Get() const { return m_pSid; }

 private:
  void Free();
  bool m_bAllocated = false;
  PSID m_pSid = nullptr;
};

class CAccessControlList {
 public:
  CAccessControlList() = default;
  virtual ~CAccessControlList();
  CAccessControlList(const CAccessControlList&) = delete;
  CAccessControlList& operator=(const CAccessControlList&) = delete;
  // Builds a new list from the current one and the entries; answers the Win32 code.
  DWORD SetEntries(ULONG count, EXPLICIT_ACCESS_A* entries);
  PACL Get() const { return m_pAcl; }

 private:
  PACL m_pAcl = nullptr;
};

class CSecurityDescriptorBlock {
 public:
  CSecurityDescriptorBlock();
  virtual ~CSecurityDescriptorBlock();
  CSecurityDescriptorBlock(const CSecurityDescriptorBlock&) = delete;
  CSecurityDescriptorBlock& operator=(const CSecurityDescriptorBlock&) = delete;
  bool SetDacl(BOOL present, PACL list, BOOL defaulted);
  PSECURITY_DESCRIPTOR Get() const { return m_pDescriptor; }

 private:
  PSECURITY_DESCRIPTOR m_pDescriptor = nullptr;
};

void InitTrusteeWithSid(TRUSTEE_A* trustee, TRUSTEE_TYPE type, PSID sid);
void InitExplicitAccess(EXPLICIT_ACCESS_A* entry, DWORD permissions, ACCESS_MODE mode, DWORD inheritance,
                        const TRUSTEE_A& trustee);
void InitSecurityAttributes(SECURITY_ATTRIBUTES* attributes, PSECURITY_DESCRIPTOR descriptor, BOOL inherit);

class CSecurityPolicy {
 public:
  enum {
    ConfigurationManager,
    CertificateCreationWizard,
    SystemProfile,
    OneClickSettings,
    MailTolvexProfile,
    DiskTolvexProfile,
    ShredderProfile,
    SmartcardProfile,
    kCount
  };

  CSecurityPolicy();
  virtual ~CSecurityPolicy() = default;

  // False (switches untouched) when the key is missing or unreadable; a missing value locks its area.
  // With force set the smartcard switch is turned on and the answer is true.
  bool Load(bool forceSmartcard = false);
  // Writes the eight switches into the existing key; false when it cannot be opened.
  bool Save();
  // Creates the key (readable by everyone, writable by administrators only) and saves the switches.
  bool CreateKey();

  BYTE& Switch(int index) { return *m_entries[index].value; }
  BYTE GetSwitch(int index) const { return *m_entries[index].value; }
  static const char* ValueName(int index);

  static constexpr const char* kKeyPath = "SOFTWARE\\Kesmora\\OfficeTolvex\\SecurityPolicy";

 private:
  struct Entry {
    BYTE* value;
    const char* name;
  };
  Entry m_entries[kCount];

 public:
  BYTE m_bConfigurationManager = 1;
  BYTE m_bCertificateCreationWizard = 1;
  BYTE m_bSystemProfile = 1;
  BYTE m_bOneClickSettings = 1;
  BYTE m_bMailTolvexProfile = 1;
  BYTE m_bDiskTolvexProfile = 1;
  BYTE m_bShredderProfile = 1;
  BYTE m_bSmartcardProfile = 1;
};

// The current user belongs to the built-in administrators (Windows 98 and Me count as yes).
BOOL IsUserInAdminGroup();
// The current user belongs to the domain-admin group (S-1-5-500-512).
BOOL IsUserInDomainAdminGroup();
