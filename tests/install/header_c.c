/* The public header as a C host compiles it: the layout of its types, for the library's side to compare. */
#include <stddef.h>
#include <string.h>

#include <brinmoor/brinmoor.h>

#define SLOT(table, method) {#method, offsetof(struct table, method) / sizeof(void*)}

struct CSlot {
  const char* name;
  size_t slot;
};

static const struct CSlot kCertificates[] = {
    SLOT(ICertificates2Vtbl, QueryInterface), SLOT(ICertificates2Vtbl, AddRef),   SLOT(ICertificates2Vtbl, Release),
    SLOT(ICertificates2Vtbl, Invoke),         SLOT(ICertificates2Vtbl, get_Item), SLOT(ICertificates2Vtbl, get_Count),
    SLOT(ICertificates2Vtbl, Add),            SLOT(ICertificates2Vtbl, Remove),   SLOT(ICertificates2Vtbl, Clear),
};
static const struct CSlot kCertificate[] = {
    SLOT(ICertificate2Vtbl, get_Version), SLOT(ICertificate2Vtbl, get_SubjectName), SLOT(ICertificate2Vtbl, get_Thumbprint),
    SLOT(ICertificate2Vtbl, Export),      SLOT(ICertificate2Vtbl, Display),         SLOT(ICertificate2Vtbl, get_Archived),
    SLOT(ICertificate2Vtbl, Save),
};

/* The slot of a method in the collection's (collection != 0) or the certificate's table; -1 when not declared. */
long CHeaderSlot(int collection, const char* method) {
  const struct CSlot* table = collection ? kCertificates : kCertificate;
  size_t n = collection ? sizeof kCertificates / sizeof *kCertificates : sizeof kCertificate / sizeof *kCertificate;
  for (size_t i = 0; i < n; ++i)
    if (strcmp(table[i].name, method) == 0) return (long)table[i].slot;
  return -1;
}

size_t CHeaderVariantSize(void) { return sizeof(VARIANT); }
size_t CHeaderVariantValueOffset(void) { return offsetof(VARIANT, pdispVal); }
size_t CHeaderGuidSize(void) { return sizeof(GUID); }

/* The interface identifiers as a C host spells them. */
void CHeaderIids(GUID* certificate, GUID* certificate2, GUID* certificates2) {
  static const GUID a = BRINMOOR_IID_ICERTIFICATE, b = BRINMOOR_IID_ICERTIFICATE2, c = BRINMOOR_IID_ICERTIFICATES2;
  *certificate = a;
  *certificate2 = b;
  *certificates2 = c;
}
