// Documents and views: file load and save through Serialize, failure reports, command update handlers, a
// scale-to-fit scroll view's mapping, views attached through the creation context and deleted with their window.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/mfc/afxwin.h"
#include "platform/mfc/carchive.h"
#include "platform/win32/files.h"

namespace {

#define ID_TEST_CLEAR 57633

class CNumberDoc : public CDocument {
 public:
  int value = 0;
  bool updateAsked = false;
  int reports = 0;
  UINT lastPrompt = 0;
  void Serialize(CArchive& ar) override {
    if (ar.IsStoring()) {
      ar << static_cast<DWORD>(value);
    } else {
      DWORD v = 0;
      ar >> v;
      value = static_cast<int>(v);
    }
  }
  void DeleteContents() override { value = 0; }
  void ReportSaveLoadException(LPCSTR, CException*, BOOL, UINT nIDPDefault) override {
    ++reports;
    lastPrompt = nIDPDefault;
  }

 protected:
  afx_msg void OnUpdateClear(CCmdUI* pCmdUI) {
    updateAsked = true;
    pCmdUI->Enable(value != 0);
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CNumberDoc, CDocument)
  ON_UPDATE_COMMAND_UI(ID_TEST_CLEAR, OnUpdateClear)
END_MESSAGE_MAP()

std::string TempDir() {
  char buf[MAX_PATH];
  GetTempPath(sizeof buf, buf);
  return buf;
}

TEST(Documents, SaveAndOpenThroughSerialize) {
  std::string path = TempDir() + "kx-docview-number.bin";
  CNumberDoc doc;
  doc.m_bAutoDelete = FALSE;
  ASSERT_TRUE(doc.OnNewDocument());
  doc.value = 4711;
  doc.SetModifiedFlag();
  ASSERT_TRUE(doc.OnSaveDocument(path.c_str()));
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(GetFileAttributes((path + ".kxnew").c_str()), INVALID_FILE_ATTRIBUTES);
  std::ifstream in(path, std::ios::binary);
  unsigned char bytes[8] = {};
  in.read(reinterpret_cast<char*>(bytes), sizeof bytes);
  EXPECT_EQ(in.gcount(), 4);
  EXPECT_EQ(bytes[0] | bytes[1] << 8, 4711);

  CNumberDoc other;
  other.m_bAutoDelete = FALSE;
  ASSERT_TRUE(other.OnOpenDocument(path.c_str()));
  EXPECT_EQ(other.value, 4711);
  EXPECT_FALSE(other.IsModified());
  EXPECT_EQ(other.reports, 0);
  DeleteFile(path.c_str());
}

TEST(Documents, FailuresAreReportedWithTheFrameworkPrompts) {
  CNumberDoc doc;
  doc.m_bAutoDelete = FALSE;
  std::string missing = TempDir() + "kx-docview-missing/none.bin";
  EXPECT_FALSE(doc.OnOpenDocument(missing.c_str()));
  EXPECT_EQ(doc.reports, 1);
  EXPECT_EQ(doc.lastPrompt, static_cast<UINT>(AFX_IDP_FAILED_TO_OPEN_DOC));
  EXPECT_FALSE(doc.OnSaveDocument(missing.c_str()));
  EXPECT_EQ(doc.reports, 2);
  EXPECT_EQ(doc.lastPrompt, static_cast<UINT>(AFX_IDP_FAILED_TO_SAVE_DOC));

  // A file too short for the document: the archive's end-of-file, reported, contents deleted.
  std::string shortFile = TempDir() + "kx-docview-short.bin";
  { std::ofstream(shortFile, std::ios::binary) << "ab"; }
  doc.value = 9;
  EXPECT_FALSE(doc.OnOpenDocument(shortFile.c_str()));
  EXPECT_EQ(doc.reports, 3);
  EXPECT_EQ(doc.value, 0);
  DeleteFile(shortFile.c_str());
}

TEST(Documents, CommandUpdateHandlers) {
  CNumberDoc doc;
  doc.m_bAutoDelete = FALSE;
  CCmdUI ui;
  ui.m_nID = ID_TEST_CLEAR;
  EXPECT_TRUE(ui.DoUpdate(&doc));
  EXPECT_TRUE(doc.updateAsked);
  EXPECT_FALSE(ui.m_bEnabled);
  doc.value = 1;
  EXPECT_TRUE(ui.DoUpdate(&doc));
  EXPECT_TRUE(ui.m_bEnabled);
  CCmdUI none;
  none.m_nID = ID_TEST_CLEAR + 1;
  EXPECT_FALSE(none.DoUpdate(&doc));
}

class CSquareView : public CScrollView {
 public:
  bool* deleted = nullptr;
  ~CSquareView() override {
    if (deleted) *deleted = true;
  }
  void OnDraw(CDC* pDC) override {
    CRect square(0, 0, 50, 50);
    pDC->FillSolidRect(&square, RGB(200, 0, 0));
  }
  void OnInitialUpdate() override {
    SetScaleToFitSize(CSize(100, 100));
    CScrollView::OnInitialUpdate();
  }
};

TEST(Views, ScaleToFitMapsTheLogicalAreaOntoTheWindow) {
  HWND parent = CreateWindowEx(0, "Static", "", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(parent, nullptr);
  auto* doc = new CNumberDoc;
  CCreateContext context;
  context.m_pCurrentDoc = doc;
  bool deleted = false;
  auto* view = new CSquareView;
  view->deleted = &deleted;
  ASSERT_TRUE(view->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(0, 0, 200, 100), CWnd::FromHandle(parent),
                           0, &context));
  EXPECT_EQ(view->GetDocument(), doc);
  POSITION pos = doc->GetFirstViewPosition();
  EXPECT_EQ(doc->GetNextView(pos), view);
  view->OnInitialUpdate();

  // The view's mapping: 100 x 100 logical units over 200 x 100 pixels.
  CClientDC client(view);
  view->OnPrepareDC(&client);
  CPoint pt(100, 50);
  client.DPtoLP(&pt);
  EXPECT_EQ(pt, CPoint(50, 50));

  CDC mem;
  ASSERT_TRUE(mem.CreateCompatibleDC(nullptr));
  CBitmap bm;
  ASSERT_TRUE(bm.CreateBitmap(200, 100, 1, 32, nullptr));
  CBitmap* old = mem.SelectObject(&bm);
  mem.FillSolidRect(0, 0, 200, 100, RGB(255, 255, 255));
  view->OnPrepareDC(&mem);
  view->OnDraw(&mem);
  mem.SetMapMode(MM_TEXT);
  EXPECT_EQ(mem.GetPixel(90, 40), RGB(200, 0, 0));
  EXPECT_EQ(mem.GetPixel(110, 40), RGB(255, 255, 255));
  EXPECT_EQ(mem.GetPixel(40, 60), RGB(255, 255, 255));
  mem.SelectObject(old);

  // The view goes with its window and leaves the document.
  DestroyWindow(parent);
  EXPECT_TRUE(deleted);
  EXPECT_EQ(doc->GetFirstViewPosition(), nullptr);
  doc->OnCloseDocument();  // auto-deleting
  CWnd::DeleteTempMap();
}

}  // namespace
