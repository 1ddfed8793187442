// The cipher and key length of an encryption for one certificate (a signature file, a one-click preset), in the
// security engine's codes.
#pragma once

#include "controls/ColorLabel.h"
#include "platform/mfc/dialog.h"

class CEncryptionOptionsDialog : public CDialog {
 public:
  enum { IDD = 4222, IDC_ALGORITHM = 1038, IDC_KEY_LENGTH = 1039 };
  explicit CEncryptionOptionsDialog(CWnd* pParent = nullptr);

  // Positions in the two lists; -1 for none.
  int m_nAlgorithmIndex = -1;
  int m_nKeyLengthIndex = -1;
  // The engine's codes of the chosen entries, set on OK: algorithm (0 RC2, 1 RC4, 2 DES, 3 triple DES) and key
  // length (0 maximum, 1 40 bits, 2 56 bits, 3 128 bits).
  int m_nEngineAlgorithm = -1;
  int m_nEngineKeyLength = -1;
  CColorLabel m_lblAlgorithm;
  CColorLabel m_lblKeyLength;

  BOOL OnInitDialog() override;
  void OnOK() override;

  afx_msg void FillKeyLengths();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};
