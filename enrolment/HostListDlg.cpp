#include "enrolment/HostListDlg.h"

#include "platform/mfc/afxwin.h"

namespace {

constexpr char kSection[] = "MRU";
constexpr char kEntries[] = "Entries";
constexpr char kHostFormat[] = "Host#%d";
constexpr UINT kStatusBitmap = 1042;
constexpr COLORREF kStatusMask = RGB(255, 0, 255);
constexpr UINT kAppIcon = 128;
constexpr int kMarkerStep = 20;
constexpr int kMarkerTurn = 5;
constexpr int kMarkerSize = 7;
constexpr int kMinCount = 1, kMaxCount = 99, kDefaultCount = 5;

}  // namespace

BEGIN_MESSAGE_MAP(CHostListDlg, CDialog)
  ON_BN_CLICKED(IDC_PING, OnPing)
  ON_MESSAGE(WM_PING_LINE, OnPingLine)
  ON_MESSAGE(WM_PING_DONE, OnPingDone)
  ON_WM_TIMER()
  ON_WM_PAINT()
  ON_WM_SYSCOMMAND()
  ON_WM_QUERYDRAGICON()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CHostListDlg::CHostListDlg(CWnd* pParent) : CDialog(IDD, pParent), m_pWorker(std::make_unique<PingWorker>()) {}

CHostListDlg::~CHostListDlg() = default;

void CHostListDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_HOST, m_comboHost);
  DDX_Control(pDX, IDC_SPIN, m_spinCount);
  DDX_Control(pDX, IDC_STATUS, m_listStatus);
  DDX_Text(pDX, IDC_COUNT, m_strCount);
}

BOOL CHostListDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (!m_pWorker) m_pWorker = std::make_unique<PingWorker>();

  CWinApp* app = AfxGetApp();
  const int entries = app ? static_cast<int>(app->GetProfileInt(kSection, kEntries, 0)) : 0;
  for (int i = 0; i < entries; ++i) {
    CString name;
    name.Format(kHostFormat, i);
    const CString host = app->GetProfileString(kSection, name, "");
    if (!host.IsEmpty()) m_comboHost.AddString(host);
  }

  m_imlStatus.Create(kStatusBitmap, 16, 1, kStatusMask);
  if (app) m_hIcon = app->LoadIcon(kAppIcon);
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  // The line runs between the centres of the two marker controls, its start moved a little to the right.
  auto centre = [this](int id) {
    CRect r;
    if (CWnd* control = GetDlgItem(id)) {
      control->GetWindowRect(&r);
      ScreenToClient(&r);
    }
    return r.CenterPoint();
  };
  m_ptStart = centre(IDC_LINE_START);
  m_ptStart.x += kMarkerTurn;
  m_ptEnd = centre(IDC_LINE_END);

  m_listStatus.InsertColumn(0, "Status", LVCFMT_LEFT, 800);
  CRect client;
  m_listStatus.GetClientRect(&client);
  m_listStatus.SetColumnWidth(0, client.Width());
  m_listStatus.SetImageList(&m_imlStatus, LVSIL_SMALL);

  m_spinCount.SetBuddy(GetDlgItem(IDC_COUNT));
  m_spinCount.SetRange(kMinCount, kMaxCount);
  m_spinCount.SetPos(kDefaultCount);

  if (!m_strFixedHost.IsEmpty()) {
    m_comboHost.EnableWindow(FALSE);
    // A host the list already holds is chosen, not added again: the list is written back on closing.
    int at = m_comboHost.FindStringExact(-1, m_strFixedHost);
    if (at == CB_ERR) at = m_comboHost.AddString(m_strFixedHost);
    m_comboHost.SetCurSel(at);
    StartRun();
  }
  return TRUE;
}

void CHostListDlg::OnPing() { StartRun(); }

void CHostListDlg::StartRun() {
  if (m_bRunning) return;
  UpdateData(TRUE);
  m_comboHost.EnableWindow(FALSE);
  if (CWnd* count = GetDlgItem(IDC_COUNT)) count->EnableWindow(FALSE);
  if (CWnd* ping = GetDlgItem(IDC_PING)) ping->EnableWindow(FALSE);

  BOOL error = FALSE;
  int count = m_spinCount.GetPos32(&error);
  if (error) count = kDefaultCount;
  count = count < kMinCount ? kMinCount : count > kMaxCount ? kMaxCount : count;
  if (m_listStatus.GetItemCount() > 0) m_listStatus.InsertItem(m_listStatus.GetItemCount(), "", kImageBlank);

  CString host;
  m_comboHost.GetWindowText(host);
  m_pWorker->Request(count, host, m_hWnd);

  m_nMarker = m_ptStart.x;
  m_nStep = kMarkerStep;
  SetTimer(kAnimationTimer, 100, nullptr);
  m_bRunning = TRUE;
}

LRESULT CHostListDlg::OnPingLine(WPARAM wParam, LPARAM lParam) {
  char* text = reinterpret_cast<char*>(lParam);
  const int row = m_listStatus.InsertItem(m_listStatus.GetItemCount(), text ? text : "", static_cast<int>(wParam));
  m_listStatus.EnsureVisible(row, FALSE);
  delete[] text;
  return 0;
}

LRESULT CHostListDlg::OnPingDone(WPARAM, LPARAM lParam) {
  if (m_strFixedHost.IsEmpty()) m_comboHost.EnableWindow(TRUE);
  if (CWnd* count = GetDlgItem(IDC_COUNT)) count->EnableWindow(TRUE);
  if (CWnd* ping = GetDlgItem(IDC_PING)) ping->EnableWindow(TRUE);
  m_bRunning = FALSE;
  RedrawStrip();
  KillTimer(kAnimationTimer);
  if (lParam == 1) {
    CString host;
    m_comboHost.GetWindowText(host);
    if (!host.IsEmpty() && m_comboHost.FindStringExact(-1, host) == CB_ERR) m_comboHost.AddString(host);
    m_comboHost.SetFocus();
  }
  return 0;
}

void CHostListDlg::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent != kAnimationTimer) {
    CDialog::OnTimer(nIDEvent);
    return;
  }
  m_nMarker += m_nStep;
  if (m_nMarker > m_ptEnd.x) {
    m_nStep = -kMarkerStep;
    m_nMarker = m_ptEnd.x - kMarkerTurn;
  } else if (m_nMarker < m_ptStart.x) {
    m_nStep = kMarkerStep;
    m_nMarker = m_ptStart.x + kMarkerTurn;
  }
  RedrawStrip();
}

void CHostListDlg::RedrawStrip() {
  CRect strip(m_ptStart, m_ptEnd);
  strip.NormalizeRect();
  strip.InflateRect(kMarkerSize, kMarkerSize);
  InvalidateRect(&strip, TRUE);
}

void CHostListDlg::OnPaint() {
  if (IsIconic()) {
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    CRect client;
    GetClientRect(&client);
    const int x = (client.Width() - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.Height() - GetSystemMetrics(SM_CYICON) + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
    return;
  }
  CPaintDC dc(this);
  dc.MoveTo(m_ptStart);
  dc.LineTo(m_ptEnd);
  if (!m_bRunning) return;
  const int span = m_ptEnd.x - m_ptStart.x;
  const int y = span ? m_ptStart.y + (m_ptEnd.y - m_ptStart.y) * (m_nMarker - m_ptStart.x) / span : m_ptStart.y;
  CBrush red(RGB(255, 0, 0));
  CRect marker(m_nMarker - kMarkerSize / 2, y - kMarkerSize / 2, m_nMarker - kMarkerSize / 2 + kMarkerSize,
               y - kMarkerSize / 2 + kMarkerSize);
  dc.FillRect(&marker, &red);
}

void CHostListDlg::OnSysCommand(UINT nID, LPARAM lParam) { CDialog::OnSysCommand(nID, lParam); }

HCURSOR CHostListDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CHostListDlg::OnCancel() {
  SaveRecentHosts();
  CDialog::OnCancel();
}

void CHostListDlg::SaveRecentHosts() {
  CWinApp* app = AfxGetApp();
  if (!app) return;
  const int count = m_comboHost.GetCount();
  app->WriteProfileInt(kSection, kEntries, count);
  for (int i = 0; i < count; ++i) {
    CString name, host;
    name.Format(kHostFormat, i);
    m_comboHost.GetLBText(i, host);
    app->WriteProfileString(kSection, name, host);
  }
}

void CHostListDlg::OnDestroy() {
  // The worker may be in the middle of a run: stop it before the window goes, then free the lines it posted
  // that were not shown.
  m_pWorker.reset();
  KillTimer(kAnimationTimer);
  m_bRunning = FALSE;
  MSG msg;
  while (PeekMessage(&msg, m_hWnd, WM_PING_LINE, WM_PING_LINE, PM_REMOVE)) delete[] reinterpret_cast<char*>(msg.lParam);
  CDialog::OnDestroy();
}
