// Hands files to the user's mail program as the attachments of a new message, through Simple MAPI's
// "MAPISendMail" of "MAPI32.DLL" (loaded on the first send, kept until the mailer goes).
#pragma once

#include "platform/mfc/collections.h"
#include "platform/win32/types.h"

class CWnd;

class CMapiMailer {
 public:
  CMapiMailer() = default;
  virtual ~CMapiMailer();
  CMapiMailer(const CMapiMailer&) = delete;
  CMapiMailer& operator=(const CMapiMailer&) = delete;

  // One attachment per full path, in the array's order; the mail program's compose window lets the user
  // address and send the message. TRUE when the mail program took the message or the user cancelled it;
  // FALSE when the mail library or its entry is missing or the message could not be handed over (no message
  // is shown here: the caller says what it wants).
  BOOL SendFiles(const CStringArray& paths);
  // Makes the owner the active window again.
  static void ActivateOwner(CWnd* owner);

 private:
  HMODULE m_hMapi = nullptr;
};
