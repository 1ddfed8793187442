// The colour picker: its table, the popup's size and keys, the messages to the parent, and a popup that cannot
// be made.
#include <gtest/gtest.h>

#include <vector>

#include "controls/ColourPicker.h"
#include "drawctl.h"

namespace {

// The parent of the picker: records the picker's messages.
class CPickerParent : public CWnd {
 public:
  std::vector<std::pair<UINT, COLORREF>> received;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message >= WM_CP_SELCHANGE && message <= WM_CP_SELENDCANCEL) {
      received.emplace_back(message, static_cast<COLORREF>(wParam));
      return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

class ColourTest : public drawtest::FrameTest {
 protected:
  void SetUp() override {
    FrameTest::SetUp();
    ASSERT_TRUE(parent_.CreateEx(0, AfxRegisterWndClass(0, nullptr, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)),
                                 "picker", WS_POPUP | WS_VISIBLE, 100, 100, 300, 300, nullptr, nullptr));
    ASSERT_TRUE(picker_.Create("", WS_CHILD | WS_VISIBLE | WS_TABSTOP, CRect(20, 20, 120, 30), &parent_, 300));
  }
  void TearDown() override {
    if (picker_.GetSafeHwnd()) picker_.DestroyWindow();
    parent_.DestroyWindow();
    FrameTest::TearDown();
  }
  // Opens the popup as a click does; the popup window.
  CColourPopup* Open() {
    picker_.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    picker_.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    HWND popup = GetCapture();
    return popup ? dynamic_cast<CColourPopup*>(CWnd::FromHandlePermanent(popup)) : nullptr;
  }
  CPickerParent parent_;
  CColourPicker picker_;
};

TEST(ColourTable, NamesAndColoursAreTheTablesOwn) {
  EXPECT_EQ(kColourTable[1].colour, 0x002AA5u);
  EXPECT_EQ(kColourTable[9].colour, 0x2068FFu);
  EXPECT_EQ(kColourTable[37].colour, 0x8B8368u);
  EXPECT_STREQ(kColourTable[35].name, "Pale green ");
  EXPECT_STREQ(kColourTable[39].name, "White");
}

TEST_F(ColourTest, PopupWithoutBoxesIsTheGridAndItsKeysWrap) {
  picker_.SetDefaultText("");
  picker_.SetCustomText("");
  picker_.SetColour(kColourTable[12].colour);
  CColourPopup* popup = Open();
  ASSERT_NE(popup, nullptr);
  const int m = popup->GetMargin(), b = popup->GetBoxSize();
  CRect r;
  popup->GetWindowRect(&r);
  EXPECT_EQ(r.Width(), 8 * b + 2 * m);
  EXPECT_EQ(r.Height(), 5 * b + 2 * m);
  EXPECT_EQ(popup->GetChosenIndex(), 12);
  popup->SendMessage(WM_KEYDOWN, VK_UP);
  EXPECT_EQ(popup->GetHotIndex(), 39) << "up from nothing hot ends on the last cell";
  popup->SendMessage(WM_KEYDOWN, VK_DOWN);
  EXPECT_EQ(popup->GetHotIndex(), 0) << "down from the last row wraps to the first cell";
  popup->SendMessage(WM_KEYDOWN, VK_LEFT);
  EXPECT_EQ(popup->GetHotIndex(), 39);
  popup->SendMessage(WM_KEYDOWN, VK_RIGHT);
  EXPECT_EQ(popup->GetHotIndex(), 0);
  popup->SendMessage(WM_KEYDOWN, VK_RIGHT);
  popup->SendMessage(WM_KEYDOWN, VK_RETURN);
  EXPECT_EQ(picker_.GetColour(), kColourTable[1].colour);
  EXPECT_FALSE(picker_.IsPopupActive());
  ASSERT_GE(parent_.received.size(), 4u);
  const auto n = parent_.received.size();
  EXPECT_EQ(parent_.received[n - 3].first, static_cast<UINT>(WM_CP_CLOSEUP));
  EXPECT_EQ(parent_.received[n - 2], std::make_pair(static_cast<UINT>(WM_CP_SELENDOK), kColourTable[1].colour));
  EXPECT_EQ(parent_.received[n - 1].first, static_cast<UINT>(WM_CP_SELCHANGE));
}

TEST_F(ColourTest, EscapeGivesBackTheColourFromBefore) {
  picker_.SetDefaultText("Automatic");
  picker_.SetCustomText("More Colours...");
  picker_.SetTrackSelection(TRUE);
  picker_.SetColour(CLR_DEFAULT);
  CColourPopup* popup = Open();
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(parent_.received.front().first, static_cast<UINT>(WM_CP_DROPDOWN));
  EXPECT_EQ(popup->GetChosenIndex(), CColourPopup::kDefaultBox);
  popup->SendMessage(WM_KEYDOWN, VK_DOWN);  // nothing hot yet: past the grid, to the custom box
  EXPECT_EQ(popup->GetHotIndex(), CColourPopup::kCustomBox);
  popup->SendMessage(WM_KEYDOWN, VK_DOWN);
  EXPECT_EQ(popup->GetHotIndex(), CColourPopup::kDefaultBox);
  popup->SendMessage(WM_KEYDOWN, VK_DOWN);
  popup->SendMessage(WM_KEYDOWN, VK_RIGHT);
  EXPECT_EQ(popup->GetHotIndex(), 1);
  EXPECT_EQ(picker_.GetColour(), kColourTable[1].colour) << "the button follows the hot cell";
  popup->SendMessage(WM_KEYDOWN, VK_UP);
  EXPECT_EQ(popup->GetHotIndex(), CColourPopup::kDefaultBox);
  popup->SendMessage(WM_KEYDOWN, VK_UP);
  EXPECT_EQ(popup->GetHotIndex(), CColourPopup::kCustomBox);
  popup->SendMessage(WM_KEYDOWN, VK_UP);
  EXPECT_EQ(popup->GetHotIndex(), 39);
  kx::RenderWindowToPng(*popup, frametest::Shot("colour-popup").c_str());
  kx::RenderWindowToPng(parent_, frametest::Shot("colour-picker").c_str());
  popup->SendMessage(WM_KEYDOWN, VK_ESCAPE);
  EXPECT_EQ(picker_.GetColour(), CLR_DEFAULT);
  EXPECT_EQ(parent_.received.back(), std::make_pair(static_cast<UINT>(WM_CP_SELENDCANCEL), CLR_DEFAULT));
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(ColourTest, UnknownColourChoosesTheCustomBoxAndTheGridFollowsThePointer) {
  picker_.SetDefaultText("Automatic");
  picker_.SetCustomText("More Colours...");
  picker_.SetColour(RGB(1, 2, 3));
  CColourPopup* popup = Open();
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->GetChosenIndex(), CColourPopup::kCustomBox);
  CRect cell;
  ASSERT_TRUE(popup->GetCellRect(10, &cell));
  popup->SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(cell.CenterPoint().x, cell.CenterPoint().y));
  EXPECT_EQ(popup->GetHotIndex(), 10);
  ASSERT_TRUE(popup->GetCellRect(CColourPopup::kDefaultBox, &cell));
  popup->SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(cell.left + 2, cell.top + 2));
  EXPECT_EQ(popup->GetHotIndex(), CColourPopup::kDefaultBox);
  // A click outside the popup cancels.
  popup->SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(-50, -50));
  EXPECT_EQ(picker_.GetColour(), RGB(1, 2, 3));
  EXPECT_EQ(parent_.received.back().first, static_cast<UINT>(WM_CP_SELENDCANCEL));
}

HHOOK g_refuse = nullptr;
LRESULT CALLBACK RefusePopups(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    auto* create = reinterpret_cast<CBT_CREATEWND*>(lParam);
    if (create->lpcs->style & WS_POPUP) return 1;
  }
  return CallNextHookEx(g_refuse, code, wParam, lParam);
}

TEST_F(ColourTest, PopupThatCannotBeMadeLeavesTheButtonClosed) {
  g_refuse = SetWindowsHookEx(WH_CBT, RefusePopups, nullptr, GetCurrentThreadId());
  ASSERT_NE(g_refuse, nullptr);
  EXPECT_EQ(Open(), nullptr);
  UnhookWindowsHookEx(g_refuse);
  EXPECT_FALSE(picker_.IsPopupActive());
  EXPECT_TRUE(parent_.received.empty()) << "no drop-down is told of";
  // The next click works as usual.
  CColourPopup* popup = Open();
  ASSERT_NE(popup, nullptr);
  popup->SendMessage(WM_KEYDOWN, VK_ESCAPE);
  EXPECT_FALSE(picker_.IsPopupActive());
}

TEST_F(ColourTest, DataExchangeLoadsAndSavesTheColour) {
  CDataExchange load(&parent_, FALSE);
  COLORREF colour = RGB(9, 8, 7);
  DDX_ColourPicker(&load, 300, colour);
  EXPECT_EQ(picker_.GetColour(), RGB(9, 8, 7));
  picker_.SetColour(RGB(1, 1, 1));
  CDataExchange save(&parent_, TRUE);
  DDX_ColourPicker(&save, 300, colour);
  EXPECT_EQ(colour, RGB(1, 1, 1));
}

}  // namespace
