#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/com.h"

namespace {

TEST(SafeArray, VectorBoundsAndAccess) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 5, 3);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(SafeArrayGetDim(psa), 1u);
  EXPECT_EQ(SafeArrayGetElemsize(psa), 1u);
  LONG lo = 0, hi = 0;
  EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lo), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(psa, 1, &hi), S_OK);
  EXPECT_EQ(lo, 5);
  EXPECT_EQ(hi, 7);
  EXPECT_EQ(SafeArrayGetLBound(psa, 2, &lo), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetUBound(psa, 0, &hi), DISP_E_BADINDEX);
  VARTYPE vt;
  EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
  EXPECT_EQ(vt, VT_UI1);

  BYTE* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, reinterpret_cast<void**>(&data)), S_OK);
  EXPECT_EQ(data[0] | data[1] | data[2], 0);  // zero-filled
  std::memcpy(data, "\x01\x02\x03", 3);
  // A locked array cannot be destroyed or resized.
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  SAFEARRAYBOUND nb{4, 0};
  EXPECT_EQ(SafeArrayRedim(psa, &nb), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);

  LONG i = 6;
  BYTE b = 0;
  EXPECT_EQ(SafeArrayGetElement(psa, &i, &b), S_OK);
  EXPECT_EQ(b, 2);
  i = 8;
  EXPECT_EQ(SafeArrayGetElement(psa, &i, &b), DISP_E_BADINDEX);
  i = 4;
  EXPECT_EQ(SafeArrayPutElement(psa, &i, &b), DISP_E_BADINDEX);

  // Redim keeps the leading elements and zero-fills new ones.
  nb = {5, 5};
  ASSERT_EQ(SafeArrayRedim(psa, &nb), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(psa, 1, &hi), S_OK);
  EXPECT_EQ(hi, 9);
  EXPECT_EQ(std::memcmp(psa->pvData, "\x01\x02\x03\x00\x00", 5), 0);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(SafeArray, StringElementsAreOwnedCopies) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 2);
  ASSERT_NE(psa, nullptr);
  BSTR s = SysAllocString(u"first");
  LONG i = 1;
  ASSERT_EQ(SafeArrayPutElement(psa, &i, s), S_OK);  // strings are passed as the value itself
  SysFreeString(s);                                  // the array has its own copy
  BSTR out = nullptr;
  ASSERT_EQ(SafeArrayGetElement(psa, &i, &out), S_OK);
  EXPECT_EQ(std::u16string(out), u"first");
  SysFreeString(out);

  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
  BSTR* a = static_cast<BSTR*>(psa->pvData);
  BSTR* b = static_cast<BSTR*>(copy->pvData);
  EXPECT_EQ(a[0], nullptr);
  EXPECT_NE(a[1], b[1]);
  EXPECT_EQ(std::u16string(b[1]), u"first");
  // Replacing an element frees the old string.
  BSTR t = SysAllocString(u"second");
  ASSERT_EQ(SafeArrayPutElement(psa, &i, t), S_OK);
  SysFreeString(t);
  EXPECT_EQ(std::u16string(a[1]), u"second");
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
}

TEST(SafeArray, TwoDimensionsFirstVariesFastest) {
  SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, 10}};  // dimension 1: 1..2, dimension 2: 10..12
  SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(psa, nullptr);
  LONG lo, hi;
  SafeArrayGetLBound(psa, 1, &lo);
  SafeArrayGetUBound(psa, 2, &hi);
  EXPECT_EQ(lo, 1);
  EXPECT_EQ(hi, 12);
  for (LONG y = 10; y <= 12; ++y)
    for (LONG x = 1; x <= 2; ++x) {
      LONG idx[2] = {x, y};
      LONG v = x * 100 + y;
      ASSERT_EQ(SafeArrayPutElement(psa, idx, &v), S_OK);
    }
  const LONG* data = static_cast<const LONG*>(psa->pvData);
  EXPECT_EQ(data[0], 110);
  EXPECT_EQ(data[1], 210);
  EXPECT_EQ(data[2], 111);
  EXPECT_EQ(data[5], 212);
  SafeArrayDestroy(psa);
}

TEST(SafeArray, VariantOwnsItsArray) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = SafeArrayCreateVector(VT_UI1, 0, 4);
  std::memcpy(v.parray->pvData, "abcd", 4);
  VARIANT c;
  VariantInit(&c);
  ASSERT_EQ(VariantCopy(&c, &v), S_OK);
  EXPECT_NE(c.parray, v.parray);
  EXPECT_EQ(std::memcmp(c.parray->pvData, "abcd", 4), 0);
  // Changing the array type to its own type copies; to another type is refused.
  VARIANT d;
  VariantInit(&d);
  EXPECT_EQ(VariantChangeType(&d, &v, 0, VT_ARRAY | VT_UI1), S_OK);
  EXPECT_EQ(VariantChangeType(&d, &v, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantClear(&d), S_OK);
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(VariantClear(&c), S_OK);
  EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);  // no element type
}

}  // namespace
