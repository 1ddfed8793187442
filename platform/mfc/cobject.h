// CObject and run-time classes: class names, kind tests, dynamic creation and serial classes.
#pragma once

#include "platform/win32/types.h"

class CObject;
class CArchive;

// The schema of a serial class may carry this flag: any stored schema is then accepted and the object reads
// it with CArchive::GetObjectSchema.
#define VERSIONABLE_SCHEMA (0x80000000u)
// Schema of a class that is not serial.
#define KX_NO_SCHEMA 0xFFFFu

struct KXAPI CRuntimeClass {
  LPCSTR m_lpszClassName;
  int m_nObjectSize;
  UINT m_wSchema;                       // KX_NO_SCHEMA when the class is not serial
  CObject* (*m_pfnCreateObject)();      // null when the class cannot be created dynamically
  const CRuntimeClass* m_pBaseClass;    // null for CObject

  // A new object of this class, or null when the class is not dynamically creatable.
  CObject* CreateObject() const;
  BOOL IsDerivedFrom(const CRuntimeClass* base) const;

  // A registered class by name (case counts, as in archives), or null.
  static CRuntimeClass* FromName(LPCSTR className);
  // A new object of the registered class with this name, or null.
  static CObject* CreateObject(LPCSTR className);

  // The class record as archives store it: schema word, name length word, name bytes.
  void Store(CArchive& ar) const;
  // Reads a stored record and finds the registered class; null when the class is unknown. The stored schema
  // goes to *schema.
  static CRuntimeClass* Load(CArchive& ar, UINT* schema);
};

// Registers a class so that archives and CRuntimeClass::FromName find it by name. Classes made with
// IMPLEMENT_DYNCREATE and IMPLEMENT_SERIAL register themselves at static initialisation and unregister when
// their module is unloaded.
KXAPI void AfxClassInit(CRuntimeClass* cls);
namespace kx {
KXAPI void UnregisterRuntimeClass(const CRuntimeClass* cls);
struct KXAPI ClassInit {
  explicit ClassInit(CRuntimeClass* cls) : m_cls(cls) { AfxClassInit(cls); }
  ~ClassInit() { UnregisterRuntimeClass(m_cls); }
  ClassInit(const ClassInit&) = delete;
  ClassInit& operator=(const ClassInit&) = delete;
  CRuntimeClass* m_cls;
};
}  // namespace kx

class KXAPI CObject {
 public:
  static const CRuntimeClass classCObject;

  virtual CRuntimeClass* GetRuntimeClass() const;
  virtual ~CObject();

  BOOL IsKindOf(const CRuntimeClass* cls) const;
  BOOL IsSerializable() const;
  virtual void Serialize(CArchive& ar);
  virtual void AssertValid() const {}

 protected:
  CObject() = default;

 private:
  // Framework objects are not copied by default; classes that allow it define their own copy.
  CObject(const CObject&) = delete;
  CObject& operator=(const CObject&) = delete;
};

#define RUNTIME_CLASS(class_name) (const_cast<CRuntimeClass*>(&class_name::class##class_name))

// Checked down-cast: null when the object is not of the class.
template <class T>
T* DYNAMIC_DOWNCAST_impl(CObject* p, const CRuntimeClass* cls) {
  return (p && p->IsKindOf(cls)) ? static_cast<T*>(p) : nullptr;
}
#define DYNAMIC_DOWNCAST(class_name, object) \
  (DYNAMIC_DOWNCAST_impl<class_name>((object), RUNTIME_CLASS(class_name)))
#define STATIC_DOWNCAST(class_name, object) (static_cast<class_name*>(object))

#define DECLARE_DYNAMIC(class_name)                  \
 public:                                            \
  static const CRuntimeClass class##class_name;     \
  virtual CRuntimeClass* GetRuntimeClass() const;

#define DECLARE_DYNCREATE(class_name) \
  DECLARE_DYNAMIC(class_name)         \
  static CObject* CreateObject();

#define DECLARE_SERIAL(class_name) \
  DECLARE_DYNCREATE(class_name)    \
  friend CArchive& operator>>(CArchive& ar, class_name*& pOb);

#define KX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, schema, pfnNew)                         \
  const CRuntimeClass class_name::class##class_name = {#class_name, static_cast<int>(sizeof(class_name)), \
                                                       (schema), (pfnNew), RUNTIME_CLASS(base_class_name)}; \
  CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
  KX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, KX_NO_SCHEMA, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                                     \
  CObject* class_name::CreateObject() { return new class_name; }                             \
  KX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, KX_NO_SCHEMA, class_name::CreateObject) \
  static const kx::ClassInit kx_init_##class_name(RUNTIME_CLASS(class_name));

#define IMPLEMENT_SERIAL(class_name, base_class_name, wSchema)                                  \
  CObject* class_name::CreateObject() { return new class_name; }                                \
  KX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, (wSchema), class_name::CreateObject)  \
  static const kx::ClassInit kx_init_##class_name(RUNTIME_CLASS(class_name));                   \
  [[maybe_unused]] CArchive& operator>>(CArchive& ar, class_name*& pOb) {                                        \
    pOb = static_cast<class_name*>(ar.ReadObject(RUNTIME_CLASS(class_name)));                   \
    return ar;                                                                                  \
  }
