#include "certificates/TrustLists.h"

#include <cstdio>
#include <string>

#include "core/SettingsStore.h"
#include "core/Win32File.h"
#include "engine/CapicomStore.h"
#include "platform/win32/files.h"

namespace certmgr {

namespace {

std::string Thumbprint(const CCapicomCertificate& certificate) {
  try {
    CBstrString t = certificate.GetThumbprint();
    return t.GetAnsi() ? t.GetAnsi() : "";
  } catch (const _com_error&) {
    return "";
  }
}

bool Contains(const std::vector<CCapicomCertificate>& list, const CCapicomCertificate& certificate) {
  const std::string t = Thumbprint(certificate);
  for (const CCapicomCertificate& c : list)
    if (Thumbprint(c) == t) return true;
  return false;
}

// Adds what is missing; the first failure's code (adding goes on).
HRESULT AddAll(LONG location, const std::vector<CCapicomCertificate>& certificates) {
  if (certificates.empty()) return S_OK;
  CCapicomStore store;
  HRESULT hr = store.Open(location, "Root", CAPICOM_STORE_OPEN_READ_WRITE);
  if (FAILED(hr)) return hr;
  HRESULT first = S_OK;
  for (const CCapicomCertificate& c : certificates) {
    try {
      HRESULT r = store.Add(c);
      if (FAILED(r) && SUCCEEDED(first)) first = r;
    } catch (const _com_error& e) {
      if (SUCCEEDED(first)) first = e.Error();
    }
  }
  return first;
}

void RemoveAll(LONG location, const std::vector<CCapicomCertificate>& certificates) {
  CCapicomStore store;
  if (FAILED(store.Open(location, "Root", CAPICOM_STORE_OPEN_MAXIMUM_ALLOWED))) return;
  for (const CCapicomCertificate& c : certificates) {
    try {
      store.Remove(c);
    } catch (const _com_error&) {
    }
  }
}

// Removes every certificate of the store (from a collection taken before the loop); E_ACCESSDENIED is
// skipped when asked (a machine root seen through the user's view). The first other failure's code.
HRESULT RemoveEach(CCapicomStore& store, std::vector<CCapicomCertificate>& removed, bool skipDenied) {
  for (const CCapicomCertificate& c : StoreCertificates(store)) {
    HRESULT hr;
    try {
      hr = store.Remove(c);
    } catch (const _com_error& e) {
      hr = e.Error();
    }
    if (SUCCEEDED(hr)) removed.push_back(c);
    else if (!(skipDenied && hr == E_ACCESSDENIED)) return hr;
  }
  return S_OK;
}

}  // namespace

CString GetOneClickFolder() {
  CHiveSettings settings;
  settings.UseCurrentUser();
  CString folder;
  settings.GetString("OneClickManager", "OneClickFolder", folder, "");
  return folder;
}

CString TrustFilePath(const CString& folder, const char* name) {
  CString path = folder;
  if (!path.IsEmpty() && path[path.GetLength() - 1] != '/') path += "/";
  return path + name;
}

bool MakeFolder(const CString& folder) {
  if (folder.IsEmpty()) return false;
  const std::string path(folder.GetString());
  for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
    const std::string part = at == std::string::npos ? path : path.substr(0, at);
    if (!part.empty() && GetFileAttributesA(part.c_str()) == INVALID_FILE_ATTRIBUTES)
      CreateDirectoryA(part.c_str(), nullptr);
    if (at == std::string::npos) break;
  }
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadWholeFile(const CString& path, CByteBuffer& out) {
  CWin32File file(path);
  if (!file.IsOpen() || FAILED(file.ReadAll())) return false;
  out = file.m_buffer;
  return true;
}

bool WriteWholeFile(const CString& path, const CByteBuffer& bytes) {
  const CString temporary = path + ".kxtmp";
  bool written;
  {
    CWin32File file(temporary, bytes);
    written = file.IsOpen() && SUCCEEDED(file.WriteAll());
  }
  if (written && MoveFileEx(temporary, path, MOVEFILE_REPLACE_EXISTING)) return true;
  std::remove(temporary);
  return false;
}

bool ExportBundle(const CCapicomStore& store, CByteBuffer& out) {
  try {
    return store.ExportToBuffer(CAPICOM_STORE_SAVE_AS_PKCS7, CAPICOM_ENCODE_BINARY, out) && out.GetLength() > 0;
  } catch (const _com_error&) {
    return false;
  }
}

bool ReadBundle(const CByteBuffer& bytes, std::vector<CCapicomCertificate>& out) {
  try {
    CCapicomStore memory;
    if (FAILED(memory.Open(CAPICOM_MEMORY_STORE, "KXCE_Temporary", CAPICOM_STORE_OPEN_READ_WRITE))) return false;
    if (FAILED(memory.ImportFromBuffer(bytes))) return false;
    out = StoreCertificates(memory);
    return true;
  } catch (const _com_error&) {
    return false;
  }
}

std::vector<CCapicomCertificate> StoreCertificates(const CCapicomStore& store) {
  std::vector<CCapicomCertificate> list;
  CCapicomCertificates certificates = store.GetCertificates();
  const LONG count = certificates.GetCount();
  for (LONG i = 1; i <= count; ++i) list.push_back(certificates.GetItem(i));
  return list;
}

RootSwap ReplaceTrustedRoots(const std::vector<CCapicomCertificate>& newRoots) {
  CCapicomStore user;
  if (FAILED(user.Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_MAXIMUM_ALLOWED)))
    return RootSwap::NotOpened;
  // The machine's roots must be writable before anything goes.
  CCapicomStore machine;
  if (FAILED(machine.Open(CAPICOM_LOCAL_MACHINE_STORE, "Root", CAPICOM_STORE_OPEN_READ_WRITE)))
    return RootSwap::AccessDenied;

  std::vector<CCapicomCertificate> removedUser, removedMachine, added;
  auto restore = [&] {
    RemoveAll(CAPICOM_LOCAL_MACHINE_STORE, added);
    AddAll(CAPICOM_LOCAL_MACHINE_STORE, removedMachine);
    AddAll(CAPICOM_CURRENT_USER_STORE, removedUser);
  };
  try {
    if (FAILED(RemoveEach(user, removedUser, true)) || FAILED(RemoveEach(machine, removedMachine, false))) {
      restore();
      return RootSwap::RemoveFailed;
    }
    for (const CCapicomCertificate& c : newRoots) {
      if (Contains(added, c)) continue;
      if (FAILED(machine.Add(c))) {
        restore();
        return RootSwap::AddFailed;
      }
      added.push_back(c);
    }
  } catch (const _com_error&) {
    restore();
    return RootSwap::RemoveFailed;
  }
  return RootSwap::Done;
}

}  // namespace certmgr
