#include <gtest/gtest.h>

#include <cerrno>

#include "platform/mfc/mfc.h"

namespace {

class CAnimal : public CObject {
  DECLARE_DYNAMIC(CAnimal)
};
class CDog : public CAnimal {
  DECLARE_DYNCREATE(CDog)
 public:
  int legs = 4;
};

}  // namespace

IMPLEMENT_DYNAMIC(CAnimal, CObject)
IMPLEMENT_DYNCREATE(CDog, CAnimal)

namespace {

TEST(RuntimeClass, KindsNamesAndCreation) {
  CDog dog;
  EXPECT_TRUE(dog.IsKindOf(RUNTIME_CLASS(CDog)));
  EXPECT_TRUE(dog.IsKindOf(RUNTIME_CLASS(CAnimal)));
  EXPECT_TRUE(dog.IsKindOf(RUNTIME_CLASS(CObject)));
  EXPECT_FALSE(dog.IsKindOf(RUNTIME_CLASS(CException)));
  EXPECT_STREQ(dog.GetRuntimeClass()->m_lpszClassName, "CDog");
  EXPECT_FALSE(dog.IsSerializable());
  CObject* asObject = &dog;
  EXPECT_EQ(DYNAMIC_DOWNCAST(CAnimal, asObject), &dog);
  EXPECT_EQ(DYNAMIC_DOWNCAST(CException, asObject), nullptr);

  CObject* made = CRuntimeClass::CreateObject("CDog");
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(static_cast<CDog*>(made)->legs, 4);
  delete made;
  EXPECT_EQ(CRuntimeClass::CreateObject("cdog"), nullptr);  // names keep their case
  EXPECT_EQ(RUNTIME_CLASS(CAnimal)->CreateObject(), nullptr);  // not dynamically creatable
  EXPECT_EQ(CRuntimeClass::FromName("CStringList"), RUNTIME_CLASS(CStringList));
}

TEST(RuntimeClass, RegistrationEndsWithItsOwner) {
  static const CRuntimeClass temp = {"CTemporary", 8, 1, nullptr, RUNTIME_CLASS(CObject)};
  {
    kx::ClassInit init(const_cast<CRuntimeClass*>(&temp));
    EXPECT_EQ(CRuntimeClass::FromName("CTemporary"), &temp);
  }
  EXPECT_EQ(CRuntimeClass::FromName("CTemporary"), nullptr);
}

TEST(Exceptions, DeleteMessagesAndCauses) {
  try {
    AfxThrowFileException(CFileException::fileNotFound, 2, "/tmp/a.tvx");
  } catch (CException* e) {
    ASSERT_TRUE(e->IsKindOf(RUNTIME_CLASS(CFileException)));
    char text[64];
    UINT help = 7;
    EXPECT_TRUE(e->GetErrorMessage(text, sizeof text, &help));
    EXPECT_STREQ(text, "/tmp/a.tvx was not found.");
    EXPECT_EQ(help, 0u);
    char small[6];
    EXPECT_TRUE(e->GetErrorMessage(small, sizeof small));
    EXPECT_STREQ(small, "/tmp/");  // cut to the buffer
    e->Delete();
  }
  // The memory exception is one static object: Delete leaves it alive for the next throw.
  CException* first = nullptr;
  for (int i = 0; i < 2; ++i) {
    try {
      AfxThrowMemoryException();
    } catch (CMemoryException* e) {
      if (!first) first = e;
      EXPECT_EQ(e, first);
      e->Delete();
    }
  }
  struct Case {
    LONG os;
    int cause;
  } os[] = {{2, CFileException::fileNotFound}, {3, CFileException::badPath}, {5, CFileException::accessDenied},
            {32, CFileException::sharingViolation}, {112, CFileException::diskFull}, {38, CFileException::endOfFile},
            {9999, CFileException::genericException}};
  for (const Case& c : os) EXPECT_EQ(CFileException::OsErrorToException(c.os), c.cause) << c.os;
  EXPECT_EQ(CFileException::ErrnoToException(ENOENT), CFileException::fileNotFound);
  EXPECT_EQ(CFileException::ErrnoToException(EACCES), CFileException::accessDenied);
  EXPECT_EQ(CFileException::ErrnoToException(ENOSPC), CFileException::diskFull);
  EXPECT_EQ(COleException::Process(nullptr), S_OK);
}

TEST(Geometry, RectangleOperations) {
  CRect r(10, 20, 30, 60);
  EXPECT_EQ(r.Width(), 20);
  EXPECT_EQ(r.Height(), 40);
  EXPECT_EQ(r.CenterPoint(), CPoint(20, 40));
  EXPECT_TRUE(r.PtInRect(CPoint(10, 20)));
  EXPECT_FALSE(r.PtInRect(CPoint(30, 20)));  // right and bottom are outside
  r.TopLeft() = CPoint(0, 0);
  EXPECT_EQ(r, CRect(0, 0, 30, 60));
  r.InflateRect(1, 2);
  EXPECT_EQ(r, CRect(-1, -2, 31, 62));
  r.DeflateRect(1, 2, 3, 4);
  EXPECT_EQ(r, CRect(0, 0, 28, 58));
  r.OffsetRect(CSize(2, 2));
  EXPECT_EQ(r, CRect(2, 2, 30, 60));

  CRect flipped(30, 60, 10, 20);
  EXPECT_TRUE(flipped.IsRectEmpty());
  flipped.NormalizeRect();
  EXPECT_EQ(flipped, CRect(10, 20, 30, 60));

  CRect i;
  EXPECT_TRUE(i.IntersectRect(CRect(0, 0, 10, 10), CRect(5, 5, 20, 20)));
  EXPECT_EQ(i, CRect(5, 5, 10, 10));
  EXPECT_FALSE(i.IntersectRect(CRect(0, 0, 10, 10), CRect(10, 0, 20, 10)));  // touching edges share nothing
  EXPECT_TRUE(i.IsRectNull());
  CRect u;
  EXPECT_TRUE(u.UnionRect(CRect(0, 0, 10, 10), CRect(0, 0, 0, 0)));  // empty rectangles take no part
  EXPECT_EQ(u, CRect(0, 0, 10, 10));
  EXPECT_TRUE(u.UnionRect(CRect(0, 0, 10, 10), CRect(5, -5, 15, 5)));
  EXPECT_EQ(u, CRect(0, -5, 15, 10));
  CRect s;
  EXPECT_TRUE(s.SubtractRect(CRect(0, 0, 10, 10), CRect(0, 0, 10, 4)));
  EXPECT_EQ(s, CRect(0, 4, 10, 10));
  EXPECT_TRUE(s.SubtractRect(CRect(0, 0, 10, 10), CRect(2, 2, 4, 4)));  // a hole changes nothing
  EXPECT_EQ(s, CRect(0, 0, 10, 10));
  EXPECT_EQ((CRect(0, 0, 4, 4) & CRect(2, 2, 6, 6)), CRect(2, 2, 4, 4));
  EXPECT_EQ(CPoint(5, 5) - CPoint(2, 1), CSize(3, 4));
  EXPECT_EQ(CPoint(MAKELPARAM(-3, 7)), CPoint(-3, 7));
}

}  // namespace
