#include "signing/EncryptionOptionsDialog.h"

#include "app/ResString.h"
#include "platform/mfc/afxwin.h"

namespace {

struct Entry {
  const char* text;
  int value;
};

// The list entries with their item values, and the engine's codes of those values.
const Entry kAlgorithms[] = {{"DES", 0}, {"Triple DES (2-Key)", 1}, {"RC2", 2}, {"RC4", 3}, {"Triple DES (3-Key)", 1}};
struct KeyLengths {
  Entry entries[2];
  int count;
  int selected;
};
const KeyLengths kKeyLengths[] = {
    {{{"56 ", 0}, {"40 ", 2}}, 2, 0},
    {{{"128 ", 1}, {nullptr, 0}}, 1, 0},
    {{{"40 ", 2}, {"128 ", 1}}, 2, 1},
    {{{"40 ", 2}, {"128 ", 1}}, 2, 0},
    {{{"128 ", 1}, {"168 ", 3}}, 2, 1},
};
const int kEngineAlgorithm[] = {2, 3, 0, 1};
// The 168-bit key of three-key triple DES is the engine's maximum.
const int kEngineKeyLength[] = {2, 3, 1, 0};

}  // namespace

BEGIN_MESSAGE_MAP(CEncryptionOptionsDialog, CDialog)
  ON_CBN_SELCHANGE(IDC_ALGORITHM, FillKeyLengths)
END_MESSAGE_MAP()

CEncryptionOptionsDialog::CEncryptionOptionsDialog(CWnd* pParent) : CDialog(IDD, pParent) {}

void CEncryptionOptionsDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, 1062, m_lblAlgorithm);
  DDX_Control(pDX, 1061, m_lblKeyLength);
  DDX_CBIndex(pDX, IDC_ALGORITHM, m_nAlgorithmIndex);
  DDX_CBIndex(pDX, IDC_KEY_LENGTH, m_nKeyLengthIndex);
}

BOOL CEncryptionOptionsDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  auto* algorithms = static_cast<CComboBox*>(GetDlgItem(IDC_ALGORITHM));
  auto* lengths = static_cast<CComboBox*>(GetDlgItem(IDC_KEY_LENGTH));
  if (!algorithms || !lengths) return TRUE;
  algorithms->ResetContent();
  lengths->ResetContent();
  for (const Entry& entry : kAlgorithms) {
    int index = algorithms->AddString(entry.text);
    algorithms->SetItemData(index, static_cast<DWORD_PTR>(entry.value));
  }
  algorithms->SetCurSel(1);
  FillKeyLengths();
  return TRUE;
}

void CEncryptionOptionsDialog::FillKeyLengths() {
  auto* algorithms = static_cast<CComboBox*>(GetDlgItem(IDC_ALGORITHM));
  auto* lengths = static_cast<CComboBox*>(GetDlgItem(IDC_KEY_LENGTH));
  if (!algorithms || !lengths) return;
  lengths->ResetContent();
  const int position = algorithms->GetCurSel();
  if (position < 0 || position >= static_cast<int>(sizeof kKeyLengths / sizeof kKeyLengths[0])) return;
  const KeyLengths& choice = kKeyLengths[position];
  const CString bits = LoadResString(429);
  for (int i = 0; i < choice.count; ++i) {
    int index = lengths->AddString(CString(choice.entries[i].text) + bits);
    lengths->SetItemData(index, static_cast<DWORD_PTR>(choice.entries[i].value));
  }
  lengths->SetCurSel(choice.selected);
}

void CEncryptionOptionsDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  auto* algorithms = static_cast<CComboBox*>(GetDlgItem(IDC_ALGORITHM));
  auto* lengths = static_cast<CComboBox*>(GetDlgItem(IDC_KEY_LENGTH));
  if (m_nAlgorithmIndex < 0 || !algorithms) {
    AfxMessageBox(LoadResString(427), MB_OK);
    return;
  }
  if (m_nKeyLengthIndex < 0 || !lengths) {
    AfxMessageBox(LoadResString(428), MB_OK);
    return;
  }
  const auto algorithm = static_cast<size_t>(algorithms->GetItemData(m_nAlgorithmIndex));
  const auto keyLength = static_cast<size_t>(lengths->GetItemData(m_nKeyLengthIndex));
  if (algorithm >= 4 || keyLength >= 4) return;
  m_nEngineAlgorithm = kEngineAlgorithm[algorithm];
  m_nEngineKeyLength = kEngineKeyLength[keyLength];
  CDialog::OnOK();
}
