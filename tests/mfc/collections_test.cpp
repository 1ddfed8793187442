#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/mfc/mfc.h"

namespace {

// Runs f and answers whether it raised CInvalidArgException.
template <class F>
bool RaisesInvalidArg(F f) {
  try {
    f();
  } catch (CInvalidArgException* e) {
    e->Delete();
    return true;
  }
  return false;
}

std::string Join(const CStringArray& a) {
  std::string s;
  for (INT_PTR i = 0; i < a.GetSize(); ++i) s += std::string(a[i].GetString()) + (i + 1 < a.GetSize() ? "," : "");
  return s;
}

TEST(Arrays, InsertRemoveAndGrow) {
  CStringArray a;
  a.Add("b");
  a.InsertAt(0, "a");
  a.InsertAt(2, "x", 2);  // at the end
  EXPECT_EQ(Join(a), "a,b,x,x");
  a.InsertAt(6, "z");     // past the end: the gap is filled with empty elements
  EXPECT_EQ(Join(a), "a,b,x,x,,,z");
  a.RemoveAt(2, 3);
  EXPECT_EQ(Join(a), "a,b,,z");
  a.SetAtGrow(5, "f");
  EXPECT_EQ(Join(a), "a,b,,z,,f");
  EXPECT_EQ(a.GetUpperBound(), 5);
  a.SetAtGrow(1, a[0]);   // an element of the array itself
  EXPECT_EQ(Join(a), "a,a,,z,,f");

  CStringArray other;
  other.Add("1");
  other.Add("2");
  a.InsertAt(1, &other);
  EXPECT_EQ(Join(a), "a,1,2,a,,z,,f");
  EXPECT_EQ(a.Append(other), 8);
  EXPECT_EQ(a.GetSize(), 10);

  EXPECT_TRUE(RaisesInvalidArg([&] { a.GetAt(10); }));
  EXPECT_TRUE(RaisesInvalidArg([&] { a.SetAt(-1, "n"); }));
  EXPECT_TRUE(RaisesInvalidArg([&] { a.RemoveAt(9, 2); }));
  EXPECT_TRUE(RaisesInvalidArg([&] { a.InsertAt(-1, "n"); }));
  EXPECT_TRUE(RaisesInvalidArg([&] { a.SetAtGrow(-1, "n"); }));
  EXPECT_EQ(a.GetSize(), 10);  // unchanged by the refused calls

  CUIntArray u;
  u.SetSize(3);
  EXPECT_EQ(u[0] + u[1] + u[2], 0u);  // new numbers are zero
  u.RemoveAll();
  EXPECT_TRUE(u.IsEmpty());
  EXPECT_EQ(u.GetData(), nullptr);
}

TEST(Arrays, TypedPointerArray) {
  CTypedPtrArray<CPtrArray, int*> a;
  int x = 1, y = 2;
  a.Add(&x);
  a.SetAtGrow(2, &y);
  EXPECT_EQ(a.GetAt(0), &x);
  EXPECT_EQ(a[1], nullptr);
  a.ElementAt(1) = &y;
  EXPECT_EQ(*a[1], 2);
}

TEST(Lists, IterationSurvivesRemovalOfOtherNodes) {
  CStringList l;
  for (const char* s : {"a", "b", "c", "d"}) l.AddTail(s);
  // Remove every other element while walking: GetNext moves on before the removal.
  POSITION pos = l.GetHeadPosition();
  int i = 0;
  while (pos) {
    POSITION cur = pos;
    l.GetNext(pos);
    if (i++ % 2 == 1) l.RemoveAt(cur);
  }
  ASSERT_EQ(l.GetCount(), 2);
  EXPECT_STREQ(l.GetHead(), "a");
  EXPECT_STREQ(l.GetTail(), "c");

  POSITION c = l.Find("c");
  ASSERT_NE(c, nullptr);
  l.InsertBefore(c, "b");
  l.InsertAfter(c, "d");
  l.InsertBefore(nullptr, "start");
  l.InsertAfter(nullptr, "end");
  std::string walk;
  for (POSITION p = l.GetHeadPosition(); p;) walk += l.GetNext(p).GetString();
  EXPECT_EQ(walk, "startabcdend");
  std::string back;
  for (POSITION p = l.GetTailPosition(); p;) back += l.GetPrev(p).GetString();
  EXPECT_EQ(back, "enddcbastart");

  EXPECT_EQ(l.Find("zz"), nullptr);
  EXPECT_STREQ(l.GetAt(l.FindIndex(2)), "b");
  EXPECT_EQ(l.FindIndex(6), nullptr);
  EXPECT_STREQ(l.RemoveHead(), "start");
  EXPECT_STREQ(l.RemoveTail(), "end");
  l.AddHead("h");
  EXPECT_STREQ(l.GetHead(), "h");
  // Searching again after a match finds the next one.
  l.AddTail("h");
  POSITION first = l.Find("h");
  EXPECT_EQ(first, l.GetHeadPosition());
  EXPECT_EQ(l.Find("h", first), l.GetTailPosition());

  l.RemoveAll();
  EXPECT_TRUE(l.IsEmpty());
  EXPECT_TRUE(RaisesInvalidArg([&] { l.GetHead(); }));
  EXPECT_TRUE(RaisesInvalidArg([&] { l.RemoveTail(); }));
  POSITION none = nullptr;
  EXPECT_TRUE(RaisesInvalidArg([&] { l.GetNext(none); }));
}

TEST(Lists, CopyingListsAndTypedLists) {
  CStringList a, b;
  a.AddTail("1");
  a.AddTail("2");
  b.AddTail("x");
  b.AddHead(&a);
  b.AddTail(&a);
  std::string walk;
  for (POSITION p = b.GetHeadPosition(); p;) walk += b.GetNext(p).GetString();
  EXPECT_EQ(walk, "12x12");

  CTypedPtrList<CPtrList, int*> typed;
  int x = 5;
  typed.AddTail(&x);
  POSITION p = typed.GetHeadPosition();
  EXPECT_EQ(*typed.GetNext(p), 5);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(typed.RemoveHead(), &x);
}

TEST(Maps, LookupAddRemoveAndWalk) {
  CMapStringToPtr m;
  int one = 1, two = 2;
  void* v = &one;
  EXPECT_FALSE(m.Lookup("missing", v));
  EXPECT_EQ(v, &one);  // untouched
  m.SetAt("one", &one);
  m["two"] = &two;
  EXPECT_EQ(m.GetCount(), 2);
  EXPECT_TRUE(m.Lookup("two", v));
  EXPECT_EQ(v, &two);
  EXPECT_FALSE(m.Lookup("TWO", v));  // keys keep their case
  m["one"] = &two;                    // replaces
  EXPECT_EQ(m.GetCount(), 2);
  EXPECT_TRUE(m.RemoveKey("one"));
  EXPECT_FALSE(m.RemoveKey("one"));
  EXPECT_EQ(m.GetCount(), 1);

  CMapPtrToPtr pm;
  std::set<void*> keys;
  int items[50];
  for (int& i : items) {
    pm[&i] = &i + 1;
    keys.insert(&i);
  }
  std::set<void*> seen;
  POSITION pos = pm.GetStartPosition();
  while (pos) {
    void *k, *val;
    pm.GetNextAssoc(pos, k, val);
    EXPECT_EQ(val, static_cast<int*>(k) + 1);
    seen.insert(k);
  }
  EXPECT_EQ(seen, keys);
  pm.RemoveAll();
  EXPECT_EQ(pm.GetStartPosition(), nullptr);

  CMap<int, int, CString, const CString&> generic;
  generic[3] = "three";
  CString s;
  EXPECT_TRUE(generic.Lookup(3, s));
  EXPECT_STREQ(s, "three");
  EXPECT_FALSE(generic.Lookup(4, s));
}

}  // namespace
