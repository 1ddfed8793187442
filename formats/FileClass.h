// Records of the classes of the marker-keyed file family and the process-wide registry that creates a
// file object from its four-letter marker.
#pragma once

#include <vector>

#include "core/BstrString.h"
#include "platform/win32/types.h"

class CBaseKesmoraFile;

using FileClassFactory = CBaseKesmoraFile* (*)();

class CFileClass {
 public:
  CFileClass() = default;
  CFileClass(const char* className, FileClassFactory create, const CFileClass* baseClass, const char* marker)
      : m_pszClassName(className), m_pfnCreate(create), m_pBaseClass(baseClass), m_pszMarker(marker) {}
  virtual ~CFileClass() = default;
  CFileClass(const CFileClass&) = delete;
  CFileClass& operator=(const CFileClass&) = delete;

  // A new object of the class (owned by the caller), or null; an exception while creating gives null.
  CBaseKesmoraFile* CreateObject() const;
  // The marker as text; empty for a record without one.
  CBstrString GetMarker() const;
  // Three letters, set by registration.
  void SetExtension(const char* text);
  const char* GetExtension() const { return m_szExtension; }

  const char* m_pszClassName = nullptr;
  FileClassFactory m_pfnCreate = nullptr;
  const CFileClass* m_pBaseClass = nullptr;
  const char* m_pszMarker = nullptr;
  char m_szExtension[4] = {0, 0, 0, 0};
};

// Pointers to records; the array does not own them.
class CFileClassArray {
 public:
  CFileClassArray() { m_items.reserve(10); }
  virtual ~CFileClassArray() = default;
  void Add(CFileClass* record) { m_items.push_back(record); }
  DWORD GetPointerCount() const { return static_cast<DWORD>(m_items.size()); }
  CFileClass* GetAt(DWORD i) const { return m_items[i]; }
  void RemoveAll() { m_items.clear(); }

 private:
  std::vector<CFileClass*> m_items;
};

// The records of the family; every concrete record names the base record as its base.
extern CFileClass g_fileClassBase;
extern CFileClass g_fileClassTolvexBinary;
extern CFileClass g_fileClassSignature;
extern CFileClass g_fileClassOneClick;
extern CFileClass g_fileClassAuditLog;
extern CFileClass g_fileClassEncryptedTolvexBinary;

// Registers the five concrete classes (order KSGR, KXTV, KCLK, KALF, KETV) exactly once per process, safely
// from any thread; later calls do nothing.
void RegisterFileClasses();
// Whether the registry holds the five records.
bool AreFileClassesRegistered();
// The registry itself (filled by RegisterFileClasses, never emptied while the process runs).
const CFileClassArray& GetFileClassRegistry();
// The first registered record whose marker equals marker as a whole text, ignoring case; null when none.
const CFileClass* FindFileClass(const char* marker);
