#include "settings/ProfileListDlg.h"

// The list, its buttons and the profile editing come with the dialog's template.
CProfileListDlg::CProfileListDlg(CWnd* pParentWnd) : CDialog(IDD, pParentWnd) {}
