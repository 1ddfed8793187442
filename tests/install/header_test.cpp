// The public header describes the library's own types: a C host's view of the values, interfaces and constants
// it declares equals the platform's.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/capicom/capicom.h"
#include "platform/com/oleauto.h"
#include "platform/ui/ui.h"

#define BRINMOOR_PLATFORM_TYPES
#include <brinmoor/brinmoor.h>

extern "C" {
long CHeaderSlot(int collection, const char* method);
size_t CHeaderVariantSize(void);
size_t CHeaderVariantValueOffset(void);
size_t CHeaderGuidSize(void);
void CHeaderIids(GUID* certificate, GUID* certificate2, GUID* certificates2);
}

namespace {

// The table slot of a virtual method, as the compiler's pointer to it records it (1 + the byte offset).
template <class Method>
long Slot(Method method) {
  uintptr_t raw = 0;
  static_assert(sizeof(Method) >= sizeof raw);
  std::memcpy(&raw, &method, sizeof raw);
  return static_cast<long>((raw - 1) / sizeof(void*));
}

TEST(PublicHeader, DeclaresTheInterfacesSlotForSlot) {
  struct Row {
    int collection;
    const char* name;
    long slot;
  };
  const Row rows[] = {
      {1, "QueryInterface", Slot(&ICertificates2::QueryInterface)},
      {1, "AddRef", Slot(&ICertificates2::AddRef)},
      {1, "Release", Slot(&ICertificates2::Release)},
      {1, "Invoke", Slot(&ICertificates2::Invoke)},
      {1, "get_Item", Slot(&ICertificates2::get_Item)},
      {1, "get_Count", Slot(&ICertificates2::get_Count)},
      {1, "Add", Slot(&ICertificates2::Add)},
      {1, "Remove", Slot(&ICertificates2::Remove)},
      {1, "Clear", Slot(&ICertificates2::Clear)},
      {0, "get_Version", Slot(&ICertificate2::get_Version)},
      {0, "get_SubjectName", Slot(&ICertificate2::get_SubjectName)},
      {0, "get_Thumbprint", Slot(&ICertificate2::get_Thumbprint)},
      {0, "Export", Slot(&ICertificate2::Export)},
      {0, "Display", Slot(&ICertificate2::Display)},
      {0, "get_Archived", Slot(&ICertificate2::get_Archived)},
      {0, "Save", Slot(&ICertificate2::Save)},
  };
  for (const Row& row : rows) EXPECT_EQ(CHeaderSlot(row.collection, row.name), row.slot) << row.name;
}

TEST(PublicHeader, DeclaresTheValuesAndConstantsAsTheLibraryHasThem) {
  EXPECT_EQ(CHeaderVariantSize(), sizeof(VARIANT));
  EXPECT_EQ(CHeaderVariantValueOffset(), offsetof(VARIANT, pdispVal));
  EXPECT_EQ(CHeaderGuidSize(), sizeof(GUID));
  GUID certificate{}, certificate2{}, certificates2{};
  CHeaderIids(&certificate, &certificate2, &certificates2);
  EXPECT_TRUE(certificate == IID_ICertificate);
  EXPECT_TRUE(certificate2 == IID_ICertificate2);
  EXPECT_TRUE(certificates2 == IID_ICertificates2);
  EXPECT_EQ(BRINMOOR_VT_DISPATCH, VT_DISPATCH);
  EXPECT_EQ(BRINMOOR_YES, IDYES);
  EXPECT_EQ(BRINMOOR_NO, IDNO);
}

}  // namespace
