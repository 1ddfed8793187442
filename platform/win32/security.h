// The small part of the platform's security model that settings and policy code uses: SIDs, access lists,
// security descriptors, the process token and the administrator test.
//
// The token of a process holds Everyone (S-1-1-0), Users (S-1-5-32-545), Interactive (S-1-5-4), Authenticated
// Users (S-1-5-11), the user S-1-22-1-<uid>, and Administrators (S-1-5-32-544) when kx::IsAdministrator():
// uid 0 or a member of the Unix group sudo, wheel or admin. There is no impersonation: OpenThreadToken fails
// with ERROR_NO_TOKEN.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/sync.h"
#include "platform/win32/types.h"

using ACCESS_MASK = DWORD;
using PSID = void*;
#ifndef DELETE
#define DELETE 0x00010000u
#endif
#define READ_CONTROL 0x00020000u
#define WRITE_DAC 0x00040000u
#define WRITE_OWNER 0x00080000u
#define SYNCHRONIZE 0x00100000u
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_ALL 0x001F0000u
#define STANDARD_RIGHTS_REQUIRED 0x000F0000u
#define MAXIMUM_ALLOWED 0x02000000u

struct SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
};
using PSID_IDENTIFIER_AUTHORITY = SID_IDENTIFIER_AUTHORITY*;
#define SECURITY_NULL_SID_AUTHORITY {{0, 0, 0, 0, 0, 0}}
#define SECURITY_WORLD_SID_AUTHORITY {{0, 0, 0, 0, 0, 1}}
#define SECURITY_LOCAL_SID_AUTHORITY {{0, 0, 0, 0, 0, 2}}
#define SECURITY_CREATOR_SID_AUTHORITY {{0, 0, 0, 0, 0, 3}}
#define SECURITY_NT_AUTHORITY {{0, 0, 0, 0, 0, 5}}
#define SECURITY_NULL_RID 0
#define SECURITY_WORLD_RID 0
#define SECURITY_CREATOR_OWNER_RID 0
#define SECURITY_CREATOR_GROUP_RID 1
#define SECURITY_INTERACTIVE_RID 4
#define SECURITY_AUTHENTICATED_USER_RID 11
#define SECURITY_LOCAL_SYSTEM_RID 18
#define SECURITY_BUILTIN_DOMAIN_RID 32
#define DOMAIN_ALIAS_RID_ADMINS 544
#define DOMAIN_ALIAS_RID_USERS 545
#define DOMAIN_ALIAS_RID_GUESTS 546
#define DOMAIN_ALIAS_RID_POWER_USERS 547
#define DOMAIN_USER_RID_ADMIN 500
#define DOMAIN_GROUP_RID_ADMINS 512

struct SID {
  BYTE Revision;
  BYTE SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  DWORD SubAuthority[1];
};
#define SID_REVISION 1
#define SID_MAX_SUB_AUTHORITIES 15

// SIDs from AllocateAndInitializeSid are freed with FreeSid.
KXAPI BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1, DWORD s2,
                                    DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID* sid);
KXAPI PVOID FreeSid(PSID sid);
KXAPI BOOL EqualSid(PSID a, PSID b);
KXAPI BOOL IsValidSid(PSID sid);
KXAPI DWORD GetLengthSid(PSID sid);
KXAPI BOOL CopySid(DWORD length, PSID destination, PSID source);

struct ACL {
  BYTE AclRevision;
  BYTE Sbz1;
  WORD AclSize;
  WORD AceCount;
  WORD Sbz2;
};
using PACL = ACL*;
#define ACL_REVISION 2
struct ACE_HEADER {
  BYTE AceType;
  BYTE AceFlags;
  WORD AceSize;
};
#define ACCESS_ALLOWED_ACE_TYPE 0
#define ACCESS_DENIED_ACE_TYPE 1
struct ACCESS_ALLOWED_ACE {
  ACE_HEADER Header;
  ACCESS_MASK Mask;
  DWORD SidStart;
};
using ACCESS_DENIED_ACE = ACCESS_ALLOWED_ACE;
KXAPI BOOL GetAce(PACL acl, DWORD index, LPVOID* ace);

enum MULTIPLE_TRUSTEE_OPERATION { NO_MULTIPLE_TRUSTEE, TRUSTEE_IS_IMPERSONATE };
enum TRUSTEE_FORM { TRUSTEE_IS_SID, TRUSTEE_IS_NAME, TRUSTEE_BAD_FORM };
enum TRUSTEE_TYPE {
  TRUSTEE_IS_UNKNOWN,
  TRUSTEE_IS_USER,
  TRUSTEE_IS_GROUP,
  TRUSTEE_IS_DOMAIN,
  TRUSTEE_IS_ALIAS,
  TRUSTEE_IS_WELL_KNOWN_GROUP,
  TRUSTEE_IS_DELETED,
  TRUSTEE_IS_INVALID,
  TRUSTEE_IS_COMPUTER
};
enum ACCESS_MODE { NOT_USED_ACCESS, GRANT_ACCESS, SET_ACCESS, DENY_ACCESS, REVOKE_ACCESS };
#define NO_INHERITANCE 0
struct TRUSTEE_A {
  TRUSTEE_A* pMultipleTrustee;
  MULTIPLE_TRUSTEE_OPERATION MultipleTrusteeOperation;
  TRUSTEE_FORM TrusteeForm;
  TRUSTEE_TYPE TrusteeType;
  LPSTR ptstrName;  // with TRUSTEE_IS_SID: the SID
};
using TRUSTEE = TRUSTEE_A;
struct EXPLICIT_ACCESS_A {
  DWORD grfAccessPermissions;
  ACCESS_MODE grfAccessMode;
  DWORD grfInheritance;
  TRUSTEE_A Trustee;
};
using EXPLICIT_ACCESS = EXPLICIT_ACCESS_A;
using PEXPLICIT_ACCESS_A = EXPLICIT_ACCESS_A*;
using PEXPLICIT_ACCESS = EXPLICIT_ACCESS_A*;
// Builds a new list from the old one (may be null) and the entries (SID trustees only); *newAcl is a
// LocalAlloc block. Returns a Win32 code.
KXAPI DWORD SetEntriesInAcl(ULONG count, PEXPLICIT_ACCESS_A entries, PACL oldAcl, PACL* newAcl);
inline constexpr auto& SetEntriesInAclA = SetEntriesInAcl;

struct SECURITY_DESCRIPTOR {
  BYTE Revision;
  BYTE Sbz1;
  WORD Control;
  PSID Owner;
  PSID Group;
  PACL Sacl;
  PACL Dacl;
};
using PSECURITY_DESCRIPTOR = void*;
#define SECURITY_DESCRIPTOR_REVISION 1
#define SECURITY_DESCRIPTOR_MIN_LENGTH (sizeof(SECURITY_DESCRIPTOR))
#define SE_DACL_PRESENT 0x0004
#define SE_DACL_DEFAULTED 0x0008
KXAPI BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision);
KXAPI BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL dacl, BOOL defaulted);
KXAPI BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, LPBOOL present, PACL* dacl, LPBOOL defaulted);

#define TOKEN_QUERY 0x0008
#define TOKEN_READ (STANDARD_RIGHTS_READ | TOKEN_QUERY)
#define SE_GROUP_MANDATORY 0x00000001
#define SE_GROUP_ENABLED_BY_DEFAULT 0x00000002
#define SE_GROUP_ENABLED 0x00000004
#define SE_GROUP_OWNER 0x00000008
#define SE_GROUP_USE_FOR_DENY_ONLY 0x00000010
enum TOKEN_INFORMATION_CLASS { TokenUser = 1, TokenGroups = 2 };
struct SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
};
struct TOKEN_GROUPS {
  DWORD GroupCount;
  SID_AND_ATTRIBUTES Groups[1];
};
using PTOKEN_GROUPS = TOKEN_GROUPS*;
struct TOKEN_USER {
  SID_AND_ATTRIBUTES User;
};
using PHANDLE = HANDLE*;
KXAPI BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
KXAPI BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL openAsSelf, PHANDLE token);
// Short buffer: FALSE, ERROR_INSUFFICIENT_BUFFER and the size needed in *returnLength.
KXAPI BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS cls, LPVOID info, DWORD length,
                               LPDWORD returnLength);
// token null = the current process's token; enabled groups only.
KXAPI BOOL CheckTokenMembership(HANDLE token, PSID sid, LPBOOL isMember);

namespace kx {

KXAPI bool IsAdministrator();
// Tests: 1 or 0 forces the answer of IsAdministrator (and so the token and the machine hive rights) for this
// process; -1 returns to the real test.
KXAPI void SetAdministratorForTests(int administrator);

// "S-1-5-32-544" text form; empty for an invalid SID.
KXAPI std::string SidToString(PSID sid);
// The SID bytes of a text form; empty for bad text.
KXAPI std::vector<BYTE> SidFromString(const std::string& text);
// The SIDs of the current token (text form), user first.
KXAPI std::vector<std::string> CurrentTokenSids();
KXAPI std::string CurrentUserSid();

struct AccessEntry {
  std::string sid;
  ACCESS_MASK mask;
  bool deny;
};
KXAPI std::vector<AccessEntry> AccessEntriesOf(const ACL* acl);
// What a token of these SIDs is granted by the list (deny entries first, as ordered lists have them).
KXAPI ACCESS_MASK GrantedAccess(const std::vector<AccessEntry>& list, const std::vector<std::string>& tokenSids);

}  // namespace kx
