#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <gtest/gtest.h>

#include "core/ByteBuffer.h"
#include "platform/com/bstr.h"

// Watches the release of one block: records whether it was all zeros when array delete freed it.
namespace {
const void* g_watched = nullptr;
size_t g_watchedSize = 0;
int g_watchedState = -1;  // -1 not freed yet, 0 freed with data, 1 freed zeroed
}  // namespace

void operator delete[](void* p) noexcept {
  if (p && p == g_watched) {
    const unsigned char* b = static_cast<const unsigned char*>(p);
    bool zero = true;
    for (size_t i = 0; i < g_watchedSize; ++i) zero = zero && b[i] == 0;
    g_watchedState = zero ? 1 : 0;
    g_watched = nullptr;
  }
  std::free(p);
}
void operator delete[](void* p, size_t) noexcept { operator delete[](p); }
void* operator new[](size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }

namespace {

void Watch(const CByteBuffer& b) {
  g_watched = b.GetData();
  g_watchedSize = b.GetLength();
  g_watchedState = -1;
}

std::string Hex(const CByteBuffer& b) {
  std::string s;
  b.ToHex(s);
  return s;
}

CByteBuffer FromHexText(const char* text) {
  CByteBuffer b;
  std::string t(text);
  EXPECT_TRUE(b.FromHex(t.data()));
  return b;
}

}  // namespace

TEST(ByteBuffer, EmptyBufferAnswersNullAndZero) {
  CByteBuffer b(0, false);
  EXPECT_EQ(b.GetLength(), 0u);
  EXPECT_EQ(b.GetData(), nullptr);
  EXPECT_EQ(b.GetPointerAt(0), nullptr);
  EXPECT_EQ(b.GetByteAt(0), 0);
  EXPECT_FALSE(b.Free(false));
  EXPECT_EQ(b.XorChecksum(), 0);
}

TEST(ByteBuffer, SetAtGrowsWithZeroFill) {
  const BYTE p[4] = {7, 8, 9, 10};
  CByteBuffer a;
  ASSERT_TRUE(a.SetAt(3, p, 5));
  EXPECT_EQ(Hex(a), "0000000000070809");
  CByteBuffer b;
  ASSERT_TRUE(b.SetAt(0, p, 5));
  EXPECT_EQ(Hex(b), "0000000000");
  CByteBuffer c;
  ASSERT_TRUE(c.SetAt(2, nullptr, 1));  // a null source only grows
  EXPECT_EQ(Hex(c), "000000");
  CByteBuffer d(4, p, false);
  EXPECT_EQ(d.GetLength(), 4u);
  EXPECT_TRUE(d.Grow(2));
  EXPECT_EQ(d.GetLength(), 4u);
  EXPECT_FALSE(d.Allocate(8, true));
  EXPECT_EQ(d.GetLength(), 4u);
}

TEST(ByteBuffer, WipeFlagZeroesEveryReleasedBlock) {
  const BYTE secret[4] = {0xDE, 0xAD, 0xBE, 0xEF};
  {
    CByteBuffer w(4, secret, true);
    Watch(w);
    ASSERT_TRUE(w.Grow(8));
    EXPECT_EQ(g_watchedState, 1) << "old block on Grow";
    Watch(w);
    ASSERT_TRUE(w.Free(false));
    EXPECT_EQ(g_watchedState, 1) << "Free";
    w.SetAt(4, secret, 0);
    Watch(w);
  }
  EXPECT_EQ(g_watchedState, 1) << "destructor";

  CByteBuffer plain(4, secret, false);
  Watch(plain);
  plain.Grow(5);
  EXPECT_EQ(g_watchedState, 0) << "no flag: no wipe on Grow";
  Watch(plain);
  plain.Free(true);
  EXPECT_EQ(g_watchedState, 1) << "Free(true) wipes without the flag";

  // Copies and assignment do not carry the flag; the flag is fixed at construction.
  CByteBuffer src(4, secret, true);
  CByteBuffer copy(src);
  EXPECT_FALSE(copy.IsWiped());
  CByteBuffer wipedCopy(src, true);
  EXPECT_TRUE(wipedCopy.IsWiped());
  CByteBuffer target(0, false);
  target = src;
  EXPECT_FALSE(target.IsWiped());
  EXPECT_TRUE(target == src);
}

// Chunk loops hand the same buffer in again and again: an equal length keeps the block (no new allocation),
// another length replaces it (the old one wiped under the flag), and bytes taken from the buffer itself survive.
TEST(ByteBuffer, ReuseAndCopyFromKeepABlockOfTheSameLength) {
  const BYTE a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8};
  CByteBuffer w(4, a, true);
  const BYTE* block = w.GetData();
  ASSERT_TRUE(w.CopyFrom(b, 4));
  EXPECT_EQ(w.GetData(), block);
  EXPECT_EQ(Hex(w), "05060708");
  w = CByteBuffer(4, a, false);
  EXPECT_EQ(w.GetData(), block);
  EXPECT_EQ(Hex(w), "01020304");
  EXPECT_TRUE(w.IsWiped());
  ASSERT_TRUE(w.Reuse(4));
  EXPECT_EQ(w.GetData(), block);

  Watch(w);
  ASSERT_TRUE(w.CopyFrom(w.GetData() + 1, 2));
  EXPECT_EQ(g_watchedState, 1) << "old block of a wiped buffer";
  EXPECT_EQ(Hex(w), "0203");
  ASSERT_TRUE(w.CopyFrom(w.GetData() + 1, 1));
  EXPECT_EQ(Hex(w), "03");
  ASSERT_TRUE(w.Reuse(3));
  EXPECT_EQ(w.GetLength(), 3u);
  EXPECT_FALSE(w.CopyFrom(nullptr, 3));
  EXPECT_EQ(w.GetLength(), 0u);
  ASSERT_TRUE(w.CopyFrom(a, 0));
  EXPECT_EQ(w.GetData(), nullptr);
}

TEST(ByteBuffer, UInt32Conversions) {
  CByteBuffer b;
  b.SetUInt32(0x12345, true);
  EXPECT_EQ(Hex(b), "012345");
  uint32_t v = 99;
  EXPECT_TRUE(b.ToUInt32(&v, true));
  EXPECT_EQ(v, 0x12345u);
  b.SetUInt32(0, true);
  EXPECT_EQ(b.GetLength(), 0u);
  EXPECT_TRUE(b.ToUInt32(&v, true));
  EXPECT_EQ(v, 0u);
  b.SetUInt32(0x01020304, false);
  EXPECT_EQ(Hex(b), "04030201");
  EXPECT_TRUE(b.ToUInt32(&v, false));
  EXPECT_EQ(v, 0x01020304u);
  CByteBuffer five(5, true);
  v = 7;
  EXPECT_FALSE(five.ToUInt32(&v, true));
  EXPECT_EQ(v, 0u);
}

TEST(ByteBuffer, HexTextConversions) {
  std::string text = "pre";
  CByteBuffer ab = FromHexText("AB01");
  EXPECT_TRUE(ab.ToHex(text));
  EXPECT_EQ(text, "preAB01");
  std::string none;
  EXPECT_FALSE(CByteBuffer().ToHex(none));
  EXPECT_TRUE(none.empty());

  char lower[] = "ab01";
  CByteBuffer b;
  EXPECT_TRUE(b.FromHex(lower));
  EXPECT_STREQ(lower, "AB01");
  EXPECT_EQ(Hex(b), "AB01");
  char odd[] = "abc";
  CByteBuffer c;
  EXPECT_TRUE(c.FromHex(odd));
  EXPECT_EQ(Hex(c), "AB");
  for (const char* bad : {"a", ""}) {
    std::string t(bad);
    CByteBuffer d;
    EXPECT_FALSE(d.FromHex(t.data())) << bad;
  }
  char invalid[] = "AG12";
  CByteBuffer e;
  EXPECT_FALSE(e.FromHex(invalid));
  EXPECT_EQ(Hex(e), "0000");
}

TEST(ByteBuffer, ReverseBitsAndBitAccess) {
  struct { const char* in; const char* out; } cases[] = {{"0180", "0180"}, {"0102", "4080"}, {"1234", "2C48"}};
  for (auto& c : cases) {
    CByteBuffer b = FromHexText(c.in);
    EXPECT_TRUE(b.ReverseBits());
    EXPECT_EQ(Hex(b), c.out) << c.in;
  }
  CByteBuffer empty;
  EXPECT_TRUE(empty.ReverseBits());

  CByteBuffer bits(2, true);
  EXPECT_TRUE(bits.SetBitMsb(0));
  EXPECT_TRUE(bits.SetBitLsb(0));
  EXPECT_EQ(Hex(bits), "8001");
  EXPECT_TRUE(bits.SetBitMsb(9));
  EXPECT_EQ(Hex(bits), "8041");
  EXPECT_TRUE(bits.ClearBitLsb(6));
  EXPECT_EQ(Hex(bits), "8001");
  EXPECT_FALSE(bits.SetBitMsb(16));
  EXPECT_FALSE(bits.ClearBitLsb(16));
  EXPECT_TRUE(bits.Invert());
  EXPECT_EQ(Hex(bits), "7FFE");
}

TEST(ByteBuffer, OrderingIsLengthFirst) {
  CByteBuffer e1, e2;
  EXPECT_TRUE(e1 == e2);
  EXPECT_FALSE(e1 < e2);
  EXPECT_FALSE(e2 < e1);
  CByteBuffer shortBig = FromHexText("FF");
  CByteBuffer longSmall = FromHexText("0000");
  EXPECT_TRUE(shortBig < longSmall);
  EXPECT_TRUE(longSmall > shortBig);
  EXPECT_TRUE(shortBig != longSmall);
  CByteBuffer x = FromHexText("0102"), y = FromHexText("0103");
  EXPECT_TRUE(x < y);
  EXPECT_FALSE(x < x);
}

TEST(ByteBuffer, AppendInsertAndSelfOperations) {
  CByteBuffer b = FromHexText("0102");
  b += b;
  EXPECT_EQ(Hex(b), "01020102");
  b += static_cast<BYTE>(0xAA);
  EXPECT_EQ(Hex(b), "01020102AA");
  EXPECT_FALSE(b.AppendByte(0x55, 0));
  EXPECT_TRUE(b.AppendByte(0x55, 2));
  EXPECT_EQ(Hex(b), "01020102AA5555");

  CByteBuffer c = FromHexText("AABB");
  CByteBuffer ins = FromHexText("11");
  EXPECT_TRUE(c.InsertAt(ins, 1));
  EXPECT_EQ(Hex(c), "AA11BB");
  EXPECT_TRUE(c.InsertAt(ins, c.GetLength()));
  EXPECT_EQ(Hex(c), "AA11BB11");
  EXPECT_FALSE(c.InsertAt(ins, 99));
  EXPECT_TRUE(c.InsertAt(c, 0));
  EXPECT_EQ(Hex(c), "AA11BB11AA11BB11");

  CByteBuffer tail = FromHexText("FFFFFFFF");
  EXPECT_TRUE(FromHexText("010203").GetTail(tail, 1));
  EXPECT_EQ(Hex(tail), "0203FFFF") << "dest keeps its longer tail";
  EXPECT_FALSE(FromHexText("01").GetTail(tail, 1));

  CByteBuffer s1 = FromHexText("01"), s2 = FromHexText("0203");
  s1.Swap(s2);
  EXPECT_EQ(Hex(s1), "0203");
  EXPECT_EQ(Hex(s2), "01");

  CByteBuffer f;
  EXPECT_FALSE(f.FillAt(1, 0, 0));
  EXPECT_TRUE(f.FillAt(0xEE, 2, 2));
  EXPECT_EQ(Hex(f), "0000EEEE");
}

TEST(ByteBuffer, XorRules) {
  CByteBuffer a = FromHexText("0F0F"), b = FromHexText("FF00");
  CByteBuffer out = FromHexText("112233");
  EXPECT_TRUE(out.Xor(a, b));
  EXPECT_EQ(Hex(out), "F00F33") << "a longer target keeps its bytes past n";
  EXPECT_TRUE(a.Xor(a, b));
  EXPECT_EQ(Hex(a), "F00F");
  EXPECT_FALSE(out.Xor(a, FromHexText("01")));
  EXPECT_EQ(Hex(out), "F00F33");
}

TEST(ByteBuffer, BstrRoundTrip) {
  CByteBuffer b = FromHexText("0001FF7F80");
  BSTR s = nullptr;
  ASSERT_TRUE(b.ToBstr(&s, 1));
  EXPECT_EQ(SysStringByteLen(s), 4u);
  CByteBuffer back;
  EXPECT_TRUE(back.SetBstrAt(s, 0, true));
  EXPECT_EQ(Hex(back), "01FF7F80");
  EXPECT_FALSE(b.ToBstr(&s, 5));
  CByteBuffer none;
  EXPECT_TRUE(none.SetBstrAt(nullptr, 0, true));
  EXPECT_EQ(none.GetLength(), 0u);
}

TEST(ByteBuffer, ListCopiesElements) {
  CByteBufferList list;
  CByteBuffer key(3, "abc", true);
  list.Add(key);
  list.Add(FromHexText("01"));
  ASSERT_EQ(list.GetCount(), 2u);
  CByteBuffer first = list.GetAt(0);
  EXPECT_TRUE(first == key);
  EXPECT_FALSE(first.IsWiped());
  EXPECT_NE(first.GetData(), key.GetData());
  EXPECT_EQ(list.GetAt(5).GetLength(), 0u);
  list.RemoveAll();
  EXPECT_EQ(list.GetCount(), 0u);
}
