#include "platform/win32/security.h"

#include <grp.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/win32/errors.h"
#include "platform/win32/handles.h"
#include "platform/win32/heap.h"

namespace {

std::atomic<int> g_adminOverride{-1};

size_t SidLength(const SID* s) { return 8 + 4 * static_cast<size_t>(s->SubAuthorityCount); }

bool ValidSid(const void* p) {
  auto* s = static_cast<const SID*>(p);
  return s && s->Revision == SID_REVISION && s->SubAuthorityCount <= SID_MAX_SUB_AUTHORITIES;
}

// Token object: the SIDs of the process at the time it was opened.
class Token : public kx::KernelObject {
 public:
  std::vector<std::string> sids;  // user first
};

bool InUnixAdminGroup() {
  std::vector<gid_t> groups(64);
  int n = getgroups(static_cast<int>(groups.size()), groups.data());
  if (n < 0) {
    n = getgroups(0, nullptr);
    if (n < 0) return false;
    groups.resize(static_cast<size_t>(n));
    n = getgroups(n, groups.data());
    if (n < 0) return false;
  }
  groups.resize(static_cast<size_t>(n));
  groups.push_back(getegid());
  for (const char* name : {"sudo", "wheel", "admin"}) {
    struct group gr, *result = nullptr;
    char buf[4096];
    if (getgrnam_r(name, &gr, buf, sizeof buf, &result) == 0 && result) {
      for (gid_t g : groups)
        if (g == result->gr_gid) return true;
    }
  }
  return false;
}

}  // namespace

namespace kx {

bool IsAdministrator() {
  int o = g_adminOverride.load();
  if (o >= 0) return o != 0;
  return geteuid() == 0 || InUnixAdminGroup();
}

void SetAdministratorForTests(int administrator) { g_adminOverride = administrator < 0 ? -1 : (administrator ? 1 : 0); }

std::string SidToString(PSID p) {
  if (!ValidSid(p)) return {};
  auto* s = static_cast<const SID*>(p);
  uint64_t auth = 0;
  for (int i = 0; i < 6; ++i) auth = (auth << 8) | s->IdentifierAuthority.Value[i];
  std::string out = "S-1-" + std::to_string(auth);
  for (int i = 0; i < s->SubAuthorityCount; ++i) out += "-" + std::to_string(s->SubAuthority[i]);
  return out;
}

std::vector<BYTE> SidFromString(const std::string& text) {
  if (text.rfind("S-1-", 0) != 0) return {};
  std::vector<uint64_t> nums;
  size_t i = 4;
  while (i <= text.size()) {
    size_t j = text.find('-', i);
    if (j == std::string::npos) j = text.size();
    if (j == i) return {};
    uint64_t v = 0;
    for (size_t k = i; k < j; ++k) {
      if (text[k] < '0' || text[k] > '9') return {};
      v = v * 10 + static_cast<uint64_t>(text[k] - '0');
      if (v > 0xFFFFFFFFFFFFull) return {};
    }
    nums.push_back(v);
    i = j + 1;
  }
  if (nums.empty() || nums.size() - 1 > SID_MAX_SUB_AUTHORITIES) return {};
  std::vector<BYTE> out(8 + 4 * (nums.size() - 1));
  auto* s = reinterpret_cast<SID*>(out.data());
  s->Revision = SID_REVISION;
  s->SubAuthorityCount = static_cast<BYTE>(nums.size() - 1);
  for (int k = 0; k < 6; ++k) s->IdentifierAuthority.Value[k] = static_cast<BYTE>(nums[0] >> (8 * (5 - k)));
  for (size_t k = 1; k < nums.size(); ++k) {
    if (nums[k] > 0xFFFFFFFFu) return {};
    DWORD v = static_cast<DWORD>(nums[k]);
    memcpy(out.data() + 8 + 4 * (k - 1), &v, 4);
  }
  return out;
}

std::string CurrentUserSid() { return "S-1-22-1-" + std::to_string(geteuid()); }

std::vector<std::string> CurrentTokenSids() {
  std::vector<std::string> s = {CurrentUserSid(), "S-1-1-0", "S-1-5-32-545", "S-1-5-4", "S-1-5-11"};
  if (IsAdministrator()) s.push_back("S-1-5-32-544");
  return s;
}

std::vector<AccessEntry> AccessEntriesOf(const ACL* acl) {
  std::vector<AccessEntry> out;
  if (!acl) return out;
  const BYTE* p = reinterpret_cast<const BYTE*>(acl) + sizeof(ACL);
  const BYTE* end = reinterpret_cast<const BYTE*>(acl) + acl->AclSize;
  for (WORD i = 0; i < acl->AceCount && p + sizeof(ACE_HEADER) <= end; ++i) {
    auto* h = reinterpret_cast<const ACE_HEADER*>(p);
    if (h->AceSize < sizeof(ACCESS_ALLOWED_ACE) || p + h->AceSize > end) break;
    auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(p);
    if (h->AceType == ACCESS_ALLOWED_ACE_TYPE || h->AceType == ACCESS_DENIED_ACE_TYPE) {
      out.push_back({SidToString(const_cast<DWORD*>(&ace->SidStart)), ace->Mask,
                     h->AceType == ACCESS_DENIED_ACE_TYPE});
    }
    p += h->AceSize;
  }
  return out;
}

ACCESS_MASK GrantedAccess(const std::vector<AccessEntry>& list, const std::vector<std::string>& tokenSids) {
  ACCESS_MASK granted = 0, denied = 0;
  for (const auto& e : list) {
    bool mine = false;
    for (const auto& s : tokenSids) mine = mine || s == e.sid;
    if (!mine) continue;
    if (e.deny) denied |= e.mask;
    else granted |= e.mask & ~denied;
  }
  return granted & ~denied;
}

}  // namespace kx

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1, DWORD s2,
                              DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID* sid) {
  if (!authority || !sid || count > 8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* s = static_cast<SID*>(calloc(1, 8 + 4 * (count ? count : 1)));
  if (!s) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  s->Revision = SID_REVISION;
  s->SubAuthorityCount = count;
  s->IdentifierAuthority = *authority;
  DWORD subs[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
  memcpy(s->SubAuthority, subs, 4 * count);
  *sid = s;
  return TRUE;
}

PVOID FreeSid(PSID sid) {
  free(sid);
  return nullptr;
}

BOOL EqualSid(PSID a, PSID b) {
  if (!ValidSid(a) || !ValidSid(b)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  size_t la = SidLength(static_cast<SID*>(a));
  return la == SidLength(static_cast<SID*>(b)) && memcmp(a, b, la) == 0;
}

BOOL IsValidSid(PSID sid) { return ValidSid(sid); }

DWORD GetLengthSid(PSID sid) { return ValidSid(sid) ? static_cast<DWORD>(SidLength(static_cast<SID*>(sid))) : 0; }

BOOL CopySid(DWORD length, PSID destination, PSID source) {
  if (!ValidSid(source) || !destination) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  DWORD n = GetLengthSid(source);
  if (length < n) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  memcpy(destination, source, n);
  return TRUE;
}

BOOL GetAce(PACL acl, DWORD index, LPVOID* ace) {
  if (!acl || !ace || index >= acl->AceCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  BYTE* p = reinterpret_cast<BYTE*>(acl) + sizeof(ACL);
  for (DWORD i = 0; i < index; ++i) p += reinterpret_cast<ACE_HEADER*>(p)->AceSize;
  *ace = p;
  return TRUE;
}

DWORD SetEntriesInAcl(ULONG count, PEXPLICIT_ACCESS_A entries, PACL oldAcl, PACL* newAcl) {
  if (!newAcl || (count && !entries)) return ERROR_INVALID_PARAMETER;
  struct Ace {
    BYTE type;
    ACCESS_MASK mask;
    std::vector<BYTE> sid;
  };
  std::vector<Ace> aces;
  if (oldAcl) {
    for (const auto& e : kx::AccessEntriesOf(oldAcl))
      aces.push_back({static_cast<BYTE>(e.deny ? ACCESS_DENIED_ACE_TYPE : ACCESS_ALLOWED_ACE_TYPE), e.mask,
                      kx::SidFromString(e.sid)});
  }
  for (ULONG i = 0; i < count; ++i) {
    const EXPLICIT_ACCESS_A& e = entries[i];
    if (e.Trustee.TrusteeForm != TRUSTEE_IS_SID || !ValidSid(e.Trustee.ptstrName)) return ERROR_INVALID_PARAMETER;
    std::string text = kx::SidToString(e.Trustee.ptstrName);
    std::vector<BYTE> sid = kx::SidFromString(text);
    auto sameTrustee = [&](const Ace& a) { return a.sid == sid; };
    switch (e.grfAccessMode) {
      case NOT_USED_ACCESS:
        break;
      case SET_ACCESS:
        aces.erase(std::remove_if(aces.begin(), aces.end(), sameTrustee), aces.end());
        aces.push_back({ACCESS_ALLOWED_ACE_TYPE, e.grfAccessPermissions, sid});
        break;
      case GRANT_ACCESS:
        aces.push_back({ACCESS_ALLOWED_ACE_TYPE, e.grfAccessPermissions, sid});
        break;
      case DENY_ACCESS:
        aces.insert(aces.begin(), {ACCESS_DENIED_ACE_TYPE, e.grfAccessPermissions, sid});
        break;
      case REVOKE_ACCESS:
        aces.erase(std::remove_if(aces.begin(), aces.end(), sameTrustee), aces.end());
        break;
      default:
        return ERROR_INVALID_PARAMETER;
    }
  }
  size_t size = sizeof(ACL);
  for (const auto& a : aces) size += sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) + a.sid.size();
  auto* acl = static_cast<ACL*>(LocalAlloc(LPTR, size));
  if (!acl) return ERROR_NOT_ENOUGH_MEMORY;
  acl->AclRevision = ACL_REVISION;
  acl->AclSize = static_cast<WORD>(size);
  acl->AceCount = static_cast<WORD>(aces.size());
  BYTE* p = reinterpret_cast<BYTE*>(acl) + sizeof(ACL);
  for (const auto& a : aces) {
    ACE_HEADER h{a.type, 0, static_cast<WORD>(sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) + a.sid.size())};
    memcpy(p, &h, sizeof h);
    memcpy(p + sizeof h, &a.mask, sizeof a.mask);
    memcpy(p + sizeof h + sizeof a.mask, a.sid.data(), a.sid.size());
    p += h.AceSize;
  }
  *newAcl = acl;
  return ERROR_SUCCESS;
}

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision) {
  if (!sd || revision != SECURITY_DESCRIPTOR_REVISION) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  memset(sd, 0, sizeof(SECURITY_DESCRIPTOR));
  static_cast<SECURITY_DESCRIPTOR*>(sd)->Revision = SECURITY_DESCRIPTOR_REVISION;
  return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL dacl, BOOL defaulted) {
  auto* d = static_cast<SECURITY_DESCRIPTOR*>(sd);
  if (!d || d->Revision != SECURITY_DESCRIPTOR_REVISION) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return FALSE;
  }
  d->Control = static_cast<WORD>(d->Control & ~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
  if (present) d->Control |= SE_DACL_PRESENT;
  if (present && defaulted) d->Control |= SE_DACL_DEFAULTED;
  d->Dacl = present ? dacl : nullptr;
  return TRUE;
}

BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, LPBOOL present, PACL* dacl, LPBOOL defaulted) {
  auto* d = static_cast<SECURITY_DESCRIPTOR*>(sd);
  if (!d || d->Revision != SECURITY_DESCRIPTOR_REVISION || !present || !dacl || !defaulted) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return FALSE;
  }
  *present = (d->Control & SE_DACL_PRESENT) != 0;
  *dacl = d->Dacl;
  *defaulted = (d->Control & SE_DACL_DEFAULTED) != 0;
  return TRUE;
}

BOOL OpenProcessToken(HANDLE process, DWORD, PHANDLE token) {
  if (!token || process != GetCurrentProcess()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto t = std::make_shared<Token>();
  t->sids = kx::CurrentTokenSids();
  *token = kx::InsertHandle(t);
  return TRUE;
}

BOOL OpenThreadToken(HANDLE, DWORD, BOOL, PHANDLE token) {
  if (token) *token = nullptr;
  SetLastError(ERROR_NO_TOKEN);
  return FALSE;
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS cls, LPVOID info, DWORD length,
                         LPDWORD returnLength) {
  auto t = kx::LookupHandleAs<Token>(token);
  if (!t) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::vector<std::vector<BYTE>> sids;
  if (cls == TokenUser) {
    sids.push_back(kx::SidFromString(t->sids[0]));
  } else if (cls == TokenGroups) {
    for (size_t i = 1; i < t->sids.size(); ++i) sids.push_back(kx::SidFromString(t->sids[i]));
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  size_t head = cls == TokenUser ? sizeof(TOKEN_USER) : offsetof(TOKEN_GROUPS, Groups) + sids.size() * sizeof(SID_AND_ATTRIBUTES);
  size_t need = head;
  for (auto& s : sids) need += s.size();
  if (returnLength) *returnLength = static_cast<DWORD>(need);
  if (!info || length < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  BYTE* base = static_cast<BYTE*>(info);
  BYTE* p = base + head;
  SID_AND_ATTRIBUTES* out;
  if (cls == TokenUser) {
    out = &static_cast<TOKEN_USER*>(info)->User;
  } else {
    auto* g = static_cast<TOKEN_GROUPS*>(info);
    g->GroupCount = static_cast<DWORD>(sids.size());
    out = g->Groups;
  }
  for (size_t i = 0; i < sids.size(); ++i) {
    memcpy(p, sids[i].data(), sids[i].size());
    out[i].Sid = p;
    out[i].Attributes = cls == TokenUser ? 0 : (SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED);
    p += sids[i].size();
  }
  return TRUE;
}

BOOL CheckTokenMembership(HANDLE token, PSID sid, LPBOOL isMember) {
  if (!isMember || !ValidSid(sid)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<std::string> sids;
  if (token) {
    auto t = kx::LookupHandleAs<Token>(token);
    if (!t) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    sids = t->sids;
  } else {
    sids = kx::CurrentTokenSids();
  }
  std::string s = kx::SidToString(sid);
  *isMember = FALSE;
  for (auto& x : sids)
    if (x == s) *isMember = TRUE;
  return TRUE;
}
