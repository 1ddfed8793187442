#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/mfc/mfc.h"

namespace {

using Bytes = std::vector<BYTE>;

Bytes Hex(const char* text) {
  Bytes b;
  for (const char* p = text; *p;) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    b.push_back(static_cast<BYTE>(std::strtoul(std::string(p, 2).c_str(), nullptr, 16)));
    p += 2;
  }
  return b;
}

Bytes Append(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Runs a storing archive over a memory file and returns what it wrote.
template <class F>
Bytes Store(F write) {
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    write(ar);
    ar.Close();
  }
  Bytes out(static_cast<size_t>(file.GetLength()));
  file.SeekToBegin();
  if (!out.empty()) file.Read(out.data(), static_cast<UINT>(out.size()));
  return out;
}

// Runs a loading archive over the bytes.
template <class F>
void Load(Bytes bytes, F read) {
  CMemFile file(bytes.empty() ? nullptr : bytes.data(), static_cast<UINT>(bytes.size()));
  CArchive ar(&file, CArchive::load);
  read(ar);
}

// Expects the archive exception with this cause from a load.
template <class F>
void ExpectLoadFailure(const Bytes& bytes, int cause, F read) {
  try {
    Load(bytes, read);
    ADD_FAILURE() << "no exception";
  } catch (CArchiveException* e) {
    EXPECT_EQ(e->m_cause, cause);
    e->Delete();
  }
}

int g_liveLabels = 0;

class CLabel : public CObject {
  DECLARE_SERIAL(CLabel)
 public:
  CLabel() { ++g_liveLabels; }
  ~CLabel() override { --g_liveLabels; }
  void Serialize(CArchive& ar) override {
    if (ar.IsStoring()) ar << m_value;
    else ar >> m_value;
  }
  WORD m_value = 0;
};

class CShape : public CObject {
  DECLARE_SERIAL(CShape)
 public:
  void Serialize(CArchive& ar) override {
    if (ar.IsStoring()) {
      ar << m_name << m_size << m_other;
    } else {
      ar >> m_name >> m_size;
      m_other = ar.ReadObject(nullptr);
    }
  }
  CString m_name;
  LONG m_size = 0;
  CObject* m_other = nullptr;
};

class CVersioned : public CObject {
  DECLARE_SERIAL(CVersioned)
 public:
  void Serialize(CArchive& ar) override {
    if (ar.IsLoading()) m_loadedSchema = ar.GetObjectSchema();
  }
  UINT m_loadedSchema = 0;
};

class CNotSerial : public CObject {
  DECLARE_DYNCREATE(CNotSerial)
};

}  // namespace

IMPLEMENT_SERIAL(CLabel, CObject, 2)
IMPLEMENT_SERIAL(CShape, CObject, 1)
IMPLEMENT_SERIAL(CVersioned, CObject, VERSIONABLE_SCHEMA | 3)
IMPLEMENT_DYNCREATE(CNotSerial, CObject)

namespace {

TEST(Archive, ObjectGraphBytes) {
  CLabel label;
  label.m_value = 0x1234;
  CShape a, b;
  a.m_name = "A";
  a.m_size = 7;
  a.m_other = &label;
  b.m_name = "B";
  b.m_size = 8;
  b.m_other = &label;
  Bytes got = Store([&](CArchive& ar) { ar << &a << &b << static_cast<CObject*>(nullptr) << &a; });
  Bytes want = Hex(
      "FFFF 0100 0600 435368617065"  // new class CShape, schema 1 (index 1); object a is index 2
      "01 41 07000000"               // "A", 7
      "FFFF 0200 0600 434C6162656C"  // new class CLabel, schema 2 (index 3); the label is index 4
      "3412"                         // its value
      "0180"                         // class index 1 again; object b is index 5
      "01 42 08000000"               // "B", 8
      "0400"                         // the label, stored before
      "0000"                         // null
      "0200");                       // a again
  EXPECT_EQ(got, want);

  Load(got, [&](CArchive& ar) {
    CObject *p1, *p2, *p3, *p4;
    ar >> p1 >> p2 >> p3 >> p4;
    auto* a2 = DYNAMIC_DOWNCAST(CShape, p1);
    auto* b2 = DYNAMIC_DOWNCAST(CShape, p2);
    ASSERT_NE(a2, nullptr);
    ASSERT_NE(b2, nullptr);
    EXPECT_STREQ(a2->m_name, "A");
    EXPECT_EQ(b2->m_size, 8);
    EXPECT_EQ(a2->m_other, b2->m_other);  // one object, read once
    ASSERT_TRUE(a2->m_other->IsKindOf(RUNTIME_CLASS(CLabel)));
    EXPECT_EQ(static_cast<CLabel*>(a2->m_other)->m_value, 0x1234);
    EXPECT_EQ(p3, nullptr);
    EXPECT_EQ(p4, p1);
    delete a2->m_other;
    delete a2;
    delete b2;
  });
}

TEST(Archive, StringLengthPrefixes) {
  struct Case {
    size_t length;
    const char* prefix;
  } cases[] = {
      {0, "00"},
      {254, "FE"},
      {255, "FF FF00"},
      {0xFFFD, "FF FDFF"},
      {0xFFFE, "FF FFFF FEFF0000"},  // 0xFFFE marks wide text, so it takes the long form
      {0xFFFF, "FF FFFF FFFF0000"},
      {70000, "FF FFFF 70110100"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    CString s(std::string(c.length, 'x').c_str());
    Bytes got = Store([&](CArchive& ar) { ar << s; });
    Bytes prefix = Hex(c.prefix);
    ASSERT_EQ(got.size(), prefix.size() + c.length);
    EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), got.begin()));
    Load(got, [&](CArchive& ar) {
      CString back;
      ar >> back;
      EXPECT_EQ(back.GetLength(), static_cast<int>(c.length));
      EXPECT_TRUE(back == s);
    });
  }
  // 16-bit text (marker 0xFF 0xFFFE, then the length in characters) is read as UTF-8.
  Load(Hex("FF FEFF 03 6800 E900 2000"), [](CArchive& ar) {
    CString s;
    ar >> s;
    EXPECT_STREQ(s, "h\xC3\xA9 ");
  });
}

TEST(Archive, CountsAndValues) {
  Bytes got = Store([](CArchive& ar) {
    ar.WriteCount(0xFFFE);
    ar.WriteCount(0xFFFF);
    ar.WriteCount(70000);
    ar << static_cast<BYTE>(1) << static_cast<WORD>(0x0203) << static_cast<LONG>(-2) << static_cast<DWORD>(0x04050607)
       << 1.5 << true;
    ar << CRect(1, 2, 3, 4) << CPoint(-1, 5);
  });
  EXPECT_EQ(got, Hex("FEFF FFFF FFFF0000 FFFF 70110100 01 0302 FEFFFFFF 07060504 000000000000F83F 01"
                     "01000000 02000000 03000000 04000000 FFFFFFFF 05000000"));
  Load(got, [](CArchive& ar) {
    EXPECT_EQ(ar.ReadCount(), 0xFFFEu);
    EXPECT_EQ(ar.ReadCount(), 0xFFFFu);
    EXPECT_EQ(ar.ReadCount(), 70000u);
    BYTE b;
    WORD w;
    LONG l;
    DWORD d;
    double x;
    bool t;
    CRect r;
    CPoint p;
    ar >> b >> w >> l >> d >> x >> t >> r >> p;
    EXPECT_EQ(b, 1);
    EXPECT_EQ(w, 0x0203);
    EXPECT_EQ(l, -2);
    EXPECT_EQ(d, 0x04050607u);
    EXPECT_EQ(x, 1.5);
    EXPECT_TRUE(t);
    EXPECT_EQ(r, CRect(1, 2, 3, 4));
    EXPECT_EQ(p, CPoint(-1, 5));
    // Reading past the end raises endOfFile; Read itself answers what it got.
    EXPECT_EQ(ar.Read(&d, 4), 0u);
    try {
      ar >> d;
      ADD_FAILURE() << "no exception";
    } catch (CArchiveException* e) {
      EXPECT_EQ(e->m_cause, CArchiveException::endOfFile);
      e->Delete();
    }
  });
}

TEST(Archive, BigIndexesEscalate) {
  // Indexes from 0x7FFF on are written as 0x7FFF and a 32-bit value (classes with the high bit set).
  std::vector<CLabel> labels(0x7FFE);  // class index 1, objects 2 .. 0x7FFF
  CShape shape1, shape2;
  Bytes got = Store([&](CArchive& ar) {
    for (CLabel& l : labels) ar << &l;
    ar << &labels.back();  // index 0x7FFF
    ar << &shape1;         // new class at index 0x8000, object 0x8001
    ar << &shape2;         // class reference 0x8000
  });
  const size_t labelsBytes = 12 + 2 + (labels.size() - 1) * 4;  // first with its class record, then 0x8001 tags
  ASSERT_GT(got.size(), labelsBytes + 6);
  EXPECT_EQ(Bytes(got.begin() + labelsBytes, got.begin() + labelsBytes + 6), Hex("FF7F FF7F0000"));
  const size_t shape2At = labelsBytes + 6 + 12 + 1 + 4 + 2;  // class record, "", size, null other
  EXPECT_EQ(Bytes(got.begin() + shape2At, got.begin() + shape2At + 6), Hex("FF7F 00800080"));

  int before = g_liveLabels;
  Load(got, [&](CArchive& ar) {
    std::vector<CObject*> read(labels.size());
    for (CObject*& p : read) ar >> p;
    CObject* again;
    ar >> again;
    EXPECT_EQ(again, read.back());
    CObject *s1, *s2;
    ar >> s1 >> s2;
    EXPECT_TRUE(s1->IsKindOf(RUNTIME_CLASS(CShape)));
    EXPECT_TRUE(s2->IsKindOf(RUNTIME_CLASS(CShape)));
    EXPECT_NE(s1, s2);
    for (CObject* p : read) delete p;
    delete s1;
    delete s2;
  });
  EXPECT_EQ(g_liveLabels, before);
}

TEST(Archive, DamagedOrForeignDataIsRefused) {
  auto readOne = [](CArchive& ar) {
    CObject* p = ar.ReadObject(nullptr);
    delete p;
  };
  // A class nobody registered.
  ExpectLoadFailure(Hex("FFFF 0100 0500 434E6F6E65"), CArchiveException::badClass, readOne);
  // A class stored with another schema.
  ExpectLoadFailure(Hex("FFFF 0900 0600 435368617065"), CArchiveException::badSchema, readOne);
  // An index that was never given.
  ExpectLoadFailure(Hex("0900"), CArchiveException::badIndex, readOne);
  ExpectLoadFailure(Hex("0980"), CArchiveException::badIndex, readOne);
  // A class name too long for the format.
  Bytes longName = Append(Hex("FFFF 0100 4000"), Bytes(64, 'A'));
  ExpectLoadFailure(longName, CArchiveException::badClass, readOne);
  // An object reference that names a class entry, and a class reference that names an object.
  Bytes label = Hex("FFFF 0200 0600 434C6162656C 3412");  // class 1, object 2
  ExpectLoadFailure(Append(label, Hex("0100")), CArchiveException::badIndex, [](CArchive& ar) {
    delete ar.ReadObject(nullptr);
    delete ar.ReadObject(nullptr);
  });
  ExpectLoadFailure(Append(label, Hex("0280")), CArchiveException::badIndex, [](CArchive& ar) {
    delete ar.ReadObject(nullptr);
    delete ar.ReadObject(nullptr);
  });
  // An object of another class than the one asked for.
  ExpectLoadFailure(label, CArchiveException::badClass, [](CArchive& ar) { delete ar.ReadObject(RUNTIME_CLASS(CShape)); });
  // A cut-off object is freed, not leaked.
  int before = g_liveLabels;
  ExpectLoadFailure(Hex("FFFF 0200 0600 434C6162656C 34"), CArchiveException::endOfFile, readOne);
  EXPECT_EQ(g_liveLabels, before);
  // A string longer than the data.
  ExpectLoadFailure(Hex("FF FFFF FFFFFF7F 41"), CArchiveException::endOfFile, [](CArchive& ar) {
    CString s;
    ar >> s;
  });
}

TEST(Archive, SchemasAndClassRules) {
  // A versionable class accepts any stored schema and tells the object which one it was.
  Load(Hex("FFFF 0100 0A00 4356657273696F6E6564"), [](CArchive& ar) {
    CObject* p = ar.ReadObject(RUNTIME_CLASS(CVersioned));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(static_cast<CVersioned*>(p)->m_loadedSchema, 1u);
    EXPECT_EQ(ar.GetObjectSchema(), static_cast<UINT>(-1));
    delete p;
  });
  CVersioned v;
  EXPECT_EQ(Store([&](CArchive& ar) { ar << &v; }), Hex("FFFF 0300 0A00 4356657273696F6E6564"));
  // Objects of a class that is not serial cannot be stored.
  CNotSerial n;
  try {
    Store([&](CArchive& ar) { ar << &n; });
    ADD_FAILURE() << "no exception";
  } catch (CArchiveException* e) {
    EXPECT_EQ(e->m_cause, CArchiveException::badClass);
    e->Delete();
  }
  // Writing to a loading archive and reading from a storing one.
  Load(Hex("00"), [](CArchive& ar) {
    try {
      ar << static_cast<BYTE>(1);
      ADD_FAILURE() << "no exception";
    } catch (CArchiveException* e) {
      EXPECT_EQ(e->m_cause, CArchiveException::readOnly);
      e->Delete();
    }
  });
}

TEST(Archive, FlushOfALoadingArchiveGivesBackReadAhead) {
  Bytes data = Hex("01 02 03 04 05 06");
  CMemFile file(data.data(), static_cast<UINT>(data.size()));
  {
    CArchive ar(&file, CArchive::load);
    BYTE b;
    ar >> b >> b;
    ar.Close();
  }
  EXPECT_EQ(file.GetPosition(), 2u);
  CString line;
  Bytes text = Hex("6F6E650D0A 74776F");  // "one\r\ntwo"
  CMemFile tf(text.data(), static_cast<UINT>(text.size()));
  CArchive ar(&tf, CArchive::load);
  EXPECT_TRUE(ar.ReadString(line));
  EXPECT_STREQ(line, "one");
  EXPECT_TRUE(ar.ReadString(line));
  EXPECT_STREQ(line, "two");
  EXPECT_FALSE(ar.ReadString(line));
}

TEST(Archive, CollectionsSerialize) {
  CStringArray strings;
  strings.Add("a");
  strings.Add("");
  CDWordArray dwords;
  dwords.Add(0x01020304);
  CObList objects;
  CLabel l1, l2;
  l1.m_value = 1;
  l2.m_value = 2;
  objects.AddTail(&l1);
  objects.AddTail(&l2);
  objects.AddTail(&l1);
  CMapStringToString map;
  map["k"] = "v";
  Bytes got = Store([&](CArchive& ar) {
    strings.Serialize(ar);
    dwords.Serialize(ar);
    objects.Serialize(ar);
    map.Serialize(ar);
  });
  EXPECT_EQ(got, Hex("0200 0161 00"
                     "0100 04030201"
                     "0300 FFFF 0200 0600 434C6162656C 0100 0180 0200 0200"
                     "0100 016B 0176"));
  Load(got, [](CArchive& ar) {
    CStringArray s;
    CDWordArray d;
    CObList o;
    CMapStringToString m;
    s.Serialize(ar);
    d.Serialize(ar);
    o.Serialize(ar);
    m.Serialize(ar);
    ASSERT_EQ(s.GetSize(), 2);
    EXPECT_STREQ(s[0], "a");
    EXPECT_EQ(d[0], 0x01020304u);
    ASSERT_EQ(o.GetCount(), 3);
    EXPECT_EQ(o.GetHead(), o.GetTail());
    CString v;
    EXPECT_TRUE(m.Lookup("k", v));
    EXPECT_STREQ(v, "v");
    delete o.GetHead();
    POSITION pos = o.FindIndex(1);
    delete o.GetAt(pos);
  });
}

}  // namespace
