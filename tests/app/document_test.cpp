// The drawing document that start-up and the signature manager make, and its strokes' archive form.
#include <gtest/gtest.h>

#include "platform/mfc/cfile.h"
#include "app/OfficeTolvexDoc.h"

namespace {

TEST(DrawingDocument, ANewDrawingHasItsPensAndSizeAndLosesItsStrokes) {
  COfficeTolvexDoc doc;
  ASSERT_TRUE(doc.OnNewDocument());
  EXPECT_EQ(doc.m_nPenWidth, 2u);
  EXPECT_EQ(doc.m_nThickWidth, 5u);
  EXPECT_NE(doc.GetCurrentPen()->GetSafeHandle(), nullptr);
  EXPECT_EQ(doc.m_sizeDoc, CSize(800, 900));
  EXPECT_STREQ(doc.GetTitle(), "");
  doc.SetTitle("ignored");
  EXPECT_STREQ(doc.GetTitle(), "");
  doc.NewStroke()->m_pointArray.Add(CPoint(1, 2));
  doc.NewStroke();
  EXPECT_TRUE(doc.IsModified());
  doc.DeleteContents();
  EXPECT_TRUE(doc.m_strokeList.IsEmpty());
}

TEST(DrawingDocument, AStrokeStoresItsRectangleWidthAndPoints) {
  CStroke stroke(5);
  stroke.m_rectBounding.SetRect(1, 2, 30, 40);
  stroke.m_pointArray.Add(CPoint(3, 4));
  stroke.m_pointArray.Add(CPoint(-5, 6));
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    stroke.Serialize(ar);
  }
  EXPECT_EQ(file.GetLength(), 16u + 2u + 2u + 2u * 8u);
  file.SeekToBegin();
  CStroke loaded;
  {
    CArchive ar(&file, CArchive::load);
    loaded.Serialize(ar);
  }
  EXPECT_EQ(loaded.m_rectBounding, CRect(1, 2, 30, 40));
  EXPECT_EQ(loaded.m_nPenWidth, 5u);
  ASSERT_EQ(loaded.m_pointArray.GetSize(), 2);
  EXPECT_EQ(loaded.m_pointArray[1], CPoint(-5, 6));
  CObject* made = CRuntimeClass::CreateObject("CStroke");
  ASSERT_NE(made, nullptr);
  delete made;
}

}  // namespace
