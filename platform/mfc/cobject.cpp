#include "platform/mfc/cobject.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// Classes findable by name. Modules register at static initialisation and unregister when unloaded.
struct ClassList {
  std::mutex lock;
  std::vector<const CRuntimeClass*> classes;
};

ClassList& Classes() {
  static ClassList* list = new ClassList;  // never destroyed: modules may unregister during exit
  return *list;
}

}  // namespace

const CRuntimeClass CObject::classCObject = {"CObject", static_cast<int>(sizeof(CObject)), KX_NO_SCHEMA, nullptr,
                                             nullptr};

CRuntimeClass* CObject::GetRuntimeClass() const { return RUNTIME_CLASS(CObject); }

CObject::~CObject() = default;

BOOL CObject::IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }

BOOL CObject::IsSerializable() const { return GetRuntimeClass()->m_wSchema != KX_NO_SCHEMA; }

void CObject::Serialize(CArchive&) {}

CObject* CRuntimeClass::CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
  for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
    if (c == base) return TRUE;
  return FALSE;
}

CRuntimeClass* CRuntimeClass::FromName(LPCSTR className) {
  if (!className) return nullptr;
  ClassList& list = Classes();
  std::lock_guard<std::mutex> guard(list.lock);
  for (auto it = list.classes.rbegin(); it != list.classes.rend(); ++it)
    if (std::strcmp((*it)->m_lpszClassName, className) == 0) return const_cast<CRuntimeClass*>(*it);
  return nullptr;
}

CObject* CRuntimeClass::CreateObject(LPCSTR className) {
  CRuntimeClass* cls = FromName(className);
  return cls ? cls->CreateObject() : nullptr;
}

void AfxClassInit(CRuntimeClass* cls) {
  if (!cls) return;
  ClassList& list = Classes();
  std::lock_guard<std::mutex> guard(list.lock);
  list.classes.push_back(cls);
}

namespace kx {
void UnregisterRuntimeClass(const CRuntimeClass* cls) {
  ClassList& list = Classes();
  std::lock_guard<std::mutex> guard(list.lock);
  auto it = std::find(list.classes.rbegin(), list.classes.rend(), cls);
  if (it != list.classes.rend()) list.classes.erase(std::next(it).base());
}
}  // namespace kx
