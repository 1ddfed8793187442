#include "platform/pkcs11/pindialog.h"

#include <openssl/crypto.h>
#include <p11-kit/pkcs11.h>

#include <mutex>
#include <set>
#include <vector>

#include "platform/ui/dlgbuild.h"
#include "platform/ui/ui.h"

namespace kx::p11 {
namespace {

struct PinState {
  const PinRequest* request;
  std::string* pin;
};

std::string AttemptsText(const PinRequest& r) {
  std::string text;
  if (r.retry) text = "The PIN was wrong. ";
  if (r.tokenFlags & CKF_USER_PIN_FINAL_TRY)
    text += "One attempt is left: a further wrong PIN locks the token.";
  else if (r.tokenFlags & CKF_USER_PIN_COUNT_LOW)
    text += "Few attempts are left before the token locks.";
  else if (r.retry)
    text += "Try again.";
  return text;
}

INT_PTR CALLBACK PinProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  auto* s = reinterpret_cast<PinState*>(GetWindowLongPtr(dlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtr(dlg, DWLP_USER, lp);
      s = reinterpret_cast<PinState*>(lp);
      std::string label = "Enter the PIN of the token \"" + s->request->tokenLabel + "\":";
      SetDlgItemText(dlg, kPinLabel, label.c_str());
      SetDlgItemText(dlg, kPinAttempts, AttemptsText(*s->request).c_str());
      SendDlgItemMessage(dlg, kPinEdit, EM_LIMITTEXT, 255, 0);
      EnableWindow(GetDlgItem(dlg, IDOK), FALSE);
      SetFocus(GetDlgItem(dlg, kPinEdit));
      return FALSE;
    }
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case kPinEdit:
          if (HIWORD(wp) == EN_CHANGE)
            EnableWindow(GetDlgItem(dlg, IDOK), GetWindowTextLength(GetDlgItem(dlg, kPinEdit)) > 0);
          return TRUE;
        case IDOK: {
          HWND edit = GetDlgItem(dlg, kPinEdit);
          std::vector<char> buffer(static_cast<size_t>(GetWindowTextLength(edit)) + 1, '\0');
          GetWindowText(edit, buffer.data(), static_cast<int>(buffer.size()));
          s->pin->assign(buffer.data());
          OPENSSL_cleanse(buffer.data(), buffer.size());
          SetWindowText(edit, "");  // nothing of the PIN stays in the control
          EndDialog(dlg, IDOK);
          return TRUE;
        }
        case IDCANCEL:
          SetDlgItemText(dlg, kPinEdit, "");
          EndDialog(dlg, IDCANCEL);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

bool AskPin(const PinRequest& request, std::string* pin) {
  using kx::dlg::Item;
  kx::DialogTemplate t = kx::dlg::Dialog(kPinDialogTitle, 200, 92);
  t.items.push_back(Item(WC_STATICA, "", kPinLabel, 7, 7, 186, 18, SS_LEFT | SS_NOPREFIX));
  t.items.push_back(
      Item(WC_EDITA, "", kPinEdit, 7, 28, 186, 12, WS_BORDER | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL));
  t.items.push_back(Item(WC_STATICA, "", kPinAttempts, 7, 44, 186, 20, SS_LEFT | SS_NOPREFIX));
  t.items.push_back(Item(WC_BUTTONA, "OK", IDOK, 86, 71, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON));
  t.items.push_back(Item(WC_BUTTONA, "Cancel", IDCANCEL, 143, 71, 50, 14, WS_TABSTOP));
  PinState state{&request, pin};
  pin->clear();
  INT_PTR r = DialogBoxIndirectParam(nullptr, &t, GetActiveWindow(), PinProc, reinterpret_cast<LPARAM>(&state));
  if (r != IDOK) {
    OPENSSL_cleanse(pin->data(), pin->size());
    pin->clear();
    return false;
  }
  return true;
}

void ReportLocked(const std::string& tokenLabel) {
  std::string text = "The PIN of the token \"" + tokenLabel +
                     "\" is locked. The token cannot be used until its PIN is unblocked.";
  MessageBox(GetActiveWindow(), text.c_str(), kPinDialogTitle, MB_OK | MB_ICONSTOP);
}

void ReportModuleFailure(const std::string& text) {
  MessageBox(GetActiveWindow(), text.c_str(), "Smart Cards", MB_OK | MB_ICONEXCLAMATION);
}

Prompts DialogPrompts() { return Prompts{AskPin, ReportLocked, ReportModuleFailure}; }

}  // namespace kx::p11
