#include "formats/FileClass.h"

#include <strings.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "formats/AuditLogFile.h"
#include "formats/SignatureFile.h"
#include "formats/TolvexBinaryFile.h"

namespace {

CFileClassArray g_registry;
std::once_flag g_registerOnce;
std::atomic<bool> g_registered{false};

}  // namespace

CFileClass g_fileClassBase("CBaseKesmoraFile", nullptr, nullptr, nullptr);
CFileClass g_fileClassTolvexBinary("CTolvexBinaryFile", &CTolvexBinaryFile::CreateObject, &g_fileClassBase, "KXTV");
CFileClass g_fileClassSignature("CSignatureFile", &CSignatureFile::CreateObject, &g_fileClassBase, "KSGR");
CFileClass g_fileClassOneClick("COneClickFile", &COneClickFile::CreateObject, &g_fileClassBase, "KCLK");
CFileClass g_fileClassAuditLog("CAuditLogFile", &CAuditLogFile::CreateObject, &g_fileClassBase, "KALF");
CFileClass g_fileClassEncryptedTolvexBinary("CEncryptedTolvexBinaryFile", &CEncryptedTolvexBinaryFile::CreateObject,
                                            &g_fileClassBase, "KETV");

CBaseKesmoraFile* CFileClass::CreateObject() const {
  if (!m_pfnCreate) return nullptr;
  try {
    return m_pfnCreate();
  } catch (...) {
    return nullptr;
  }
}

CBstrString CFileClass::GetMarker() const { return m_pszMarker ? CBstrString(m_pszMarker) : CBstrString(); }

void CFileClass::SetExtension(const char* text) {
  std::memset(m_szExtension, 0, sizeof m_szExtension);
  if (text) std::strncpy(m_szExtension, text, sizeof m_szExtension - 1);
}

void RegisterFileClasses() {
  // Managers initialise on the user-interface thread and on workers alike: the registry is filled once and
  // never emptied again, so no lookup ever sees it half-filled.
  std::call_once(g_registerOnce, [] {
    struct {
      CFileClass* record;
      const char* extension;
    } const order[] = {{&g_fileClassSignature, "sgr"},
                       {&g_fileClassTolvexBinary, "tvx"},
                       {&g_fileClassOneClick, "clk"},
                       {&g_fileClassAuditLog, "alf"},
                       {&g_fileClassEncryptedTolvexBinary, "etv"}};
    for (const auto& entry : order) {
      entry.record->SetExtension(entry.extension);
      g_registry.Add(entry.record);
    }
    g_registered.store(true, std::memory_order_release);
  });
}

bool AreFileClassesRegistered() { return g_registered.load(std::memory_order_acquire); }

const CFileClassArray& GetFileClassRegistry() { return g_registry; }

const CFileClass* FindFileClass(const char* marker) {
  if (!marker || !AreFileClassesRegistered()) return nullptr;
  for (DWORD i = 0; i < g_registry.GetPointerCount(); ++i) {
    const CFileClass* record = g_registry.GetAt(i);
    if (!record || !record->m_pszMarker || !*record->m_pszMarker) continue;
    if (strcasecmp(record->m_pszMarker, marker) == 0) return record;
  }
  return nullptr;
}
