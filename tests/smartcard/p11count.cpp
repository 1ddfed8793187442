// A PKCS#11 module in front of SoftHSM2 that counts the object values (CKA_VALUE, a certificate's DER) read
// through it; everything else goes to SoftHSM2 as it is.
#include <dlfcn.h>
#include <p11-kit/pkcs11.h>

#include <atomic>
#include <cstdlib>

namespace {

CK_FUNCTION_LIST g_list;
CK_C_GetAttributeValue g_get = nullptr;
std::atomic<unsigned long> g_reads{0};

CK_RV GetAttributeValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR tmpl, CK_ULONG count) {
  for (CK_ULONG i = 0; i < count; ++i)
    if (tmpl[i].type == CKA_VALUE && tmpl[i].pValue) ++g_reads;
  return g_get(session, object, tmpl, count);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) unsigned long kx_p11count_value_reads() { return g_reads; }

extern "C" __attribute__((visibility("default"))) CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR out) {
  static void* module = dlopen("/usr/lib/softhsm/libsofthsm2.so", RTLD_NOW | RTLD_LOCAL);
  if (!module || !out) return CKR_GENERAL_ERROR;
  auto get = reinterpret_cast<CK_C_GetFunctionList>(dlsym(module, "C_GetFunctionList"));
  CK_FUNCTION_LIST_PTR real = nullptr;
  if (!get || get(&real) != CKR_OK || !real) return CKR_GENERAL_ERROR;
  g_list = *real;
  g_get = real->C_GetAttributeValue;
  g_list.C_GetAttributeValue = GetAttributeValue;
  *out = &g_list;
  return CKR_OK;
}
