#include <gtest/gtest.h>

#include "core/ByteBuffer.h"
#include "core/SafeArray.h"
#include "platform/com/comutil.h"

namespace {
CByteBuffer Abc() { return CByteBuffer(3, "abc", false); }
}  // namespace

TEST(SafeArray, ByteBufferRoundTrip) {
  CSafeArray none{CByteBuffer()};
  EXPECT_FALSE(none.HasArray());
  EXPECT_EQ(none.GetVariant()->vt, VT_EMPTY);
  EXPECT_EQ(none.GetByteBuffer().GetLength(), 0u);

  CSafeArray a(Abc());
  ASSERT_TRUE(a.HasArray());
  EXPECT_EQ(a.GetVariant()->vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(a.GetOneDimSize(), 3u);
  EXPECT_EQ(a.GetElemSize(), 1u);
  EXPECT_EQ(a.GetDim(), 1u);
  EXPECT_TRUE(a.GetByteBuffer() == Abc());
  a.ResizeOneDim(5);
  EXPECT_EQ(a.GetOneDimSize(), 5u);
}

TEST(SafeArray, EqualityIgnoresLowerBoundsOnly) {
  CSafeArray zero, one, longer, wide;
  zero.CreateOneDim(VT_UI1, 3, "abc", 0);
  one.CreateOneDim(VT_UI1, 3, "abc", 1);
  longer.CreateOneDim(VT_UI1, 4, "abcd", 0);
  const short w[3] = {1, 2, 3};
  wide.CreateOneDim(VT_I2, 3, w, 0);
  EXPECT_TRUE(zero == one);
  EXPECT_FALSE(zero == longer);
  EXPECT_FALSE(zero == wide) << "element size and type differ";
  EXPECT_FALSE(CSafeArray::ArraysEqual(zero.GetVariant()->parray, wide.GetVariant()->parray));
  EXPECT_TRUE(CSafeArray::ArraysEqual(nullptr, nullptr));
  EXPECT_FALSE(CSafeArray::ArraysEqual(zero.GetVariant()->parray, nullptr));
  CSafeArray other;
  other.CreateOneDim(VT_UI1, 3, "abd", 0);
  EXPECT_FALSE(zero == other);
}

TEST(SafeArray, CreateRefusalsCopiesAndDetach) {
  CSafeArray a(Abc());
  SAFEARRAY* held = a.GetVariant()->parray;
  for (VARTYPE t : {VARTYPE(VT_UI1 | VT_ARRAY), VARTYPE(VT_UI1 | VT_BYREF), VARTYPE(VT_UI1 | VT_VECTOR),
                    VARTYPE(VT_EMPTY), VARTYPE(VT_NULL)}) {
    a.CreateOneDim(t, 4, nullptr, 0);
    EXPECT_EQ(a.GetVariant()->parray, held) << t;
  }
  a.CreateOneDim(VT_UI1, 0, nullptr, 0);
  EXPECT_EQ(a.GetVariant()->parray, held);

  CSafeArray copy(a);
  EXPECT_NE(copy.GetVariant()->parray, held) << "copies never share an array";
  EXPECT_TRUE(copy == a);
  CSafeArray assigned;
  assigned = *a.GetVariant();
  EXPECT_TRUE(assigned == a);
  VARIANT empty;
  VariantInit(&empty);
  assigned = empty;
  EXPECT_TRUE(assigned.HasArray()) << "a source without an array changes nothing";

  VARIANT out;
  a.Detach(&out);
  EXPECT_FALSE(a.HasArray());
  EXPECT_EQ(out.parray, held);
  {
    CSafeArray owner;
    owner.Attach(out);
    EXPECT_EQ(out.vt, VT_EMPTY);
    EXPECT_TRUE(owner.GetByteBuffer() == Abc());
  }

  // A copy returned by value keeps its own array after the source is gone.
  auto make = [] {
    CFileImageVariant v;
    v.SetByteBuffer(CByteBuffer(4, "KXTV", false));
    return CFileImageVariant(v);
  };
  CFileImageVariant kept = make();
  EXPECT_TRUE(kept.GetByteBuffer() == CByteBuffer(4, "KXTV", false));
}
