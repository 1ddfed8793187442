// The list controls and small dialogs driven as a person drives them: a test dialog holding one report list,
// filled the way the pages fill theirs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/frame_fixture.h"
#include "controls/ReportListCtrl.h"
#include "controls/ctltest.h"
#include "platform/mfc/afxwin.h"
#include "platform/ui/controldriver.h"

namespace liststest {

constexpr UINT kListDialog = 9300;
constexpr int kList = 100;

// A page with one report list and OK / Cancel buttons; `init` fills the list when the dialog opens.
class CListDialog : public CDialog {
 public:
  explicit CListDialog(bool sort, std::function<void(CListDialog&)> init = nullptr)
      : CDialog(kListDialog), m_init(std::move(init)) {
    m_list.m_bNoSort = !sort;
  }
  CReportListCtrl m_list;

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, kList, m_list);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    m_list.SetFullRowDraw(TRUE);
    if (m_init) m_init(*this);
    return TRUE;
  }

 private:
  std::function<void(CListDialog&)> m_init;
};

using Columns = std::vector<std::vector<std::string>>;

// The pages' filling: empty the list, headings, one text list per column, states and images, Populate.
bool Fill(CReportListCtrl& list, const std::vector<std::string>& headings, const Columns& columns,
          const std::vector<UINT>& images);

class ListsTest : public frametest::FrameTest {
 protected:
  void SetUp() override;
  // Registers the list page's template; the list is `listWidth` dialog units wide.
  void RegisterListDialog(DWORD listStyle, short listWidth = 246);
  // Runs the dialog modally here and the script on a driver thread, then presses OK.
  INT_PTR Run(CDialog& dialog, UINT templateId,
              const std::function<void(kx::UiDriver&, kx::ControlDriver&, HWND)>& script, bool pressOk = true);
  // The texts of one column, top to bottom.
  static std::vector<std::string> ColumnTexts(kx::ControlDriver& c, HWND list, int column);
};

}  // namespace liststest
