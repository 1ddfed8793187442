// Simple MAPI's send entry: built-in module "MAPI32.DLL", entry "MAPISendMail". A message is handed, with its
// attachments, to the desktop's mail program ("xdg-email"; $KX_DESKTOP_MAILER names another program) when
// there is a display; its compose window then belongs to that program, so the call returns once it started.
// Without a display no mail program can be shown and the call fails with MAPI_E_FAILURE. Every request is
// recorded, so that a host without a display (and tests) can see what was asked.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/types.h"

#define SUCCESS_SUCCESS 0
#define MAPI_USER_ABORT 1
#define MAPI_E_FAILURE 2
#define MAPI_E_LOGON_FAILURE 3
#define MAPI_E_INSUFFICIENT_MEMORY 5
#define MAPI_E_ATTACHMENT_NOT_FOUND 11
#define MAPI_E_ATTACHMENT_OPEN_FAILURE 12
#define MAPI_E_UNKNOWN_RECIPIENT 14
#define MAPI_E_INVALID_MESSAGE 17

#define MAPI_LOGON_UI 0x00000001
#define MAPI_NEW_SESSION 0x00000002
#define MAPI_DIALOG 0x00000008

#define MAPI_ORIG 0
#define MAPI_TO 1
#define MAPI_CC 2
#define MAPI_BCC 3

using LHANDLE = ULONG_PTR;
using FLAGS = ULONG;

struct MapiFileDesc {
  ULONG ulReserved;
  ULONG flFlags;
  ULONG nPosition;  // 0xFFFFFFFF: not placed in the text
  LPSTR lpszPathName;
  LPSTR lpszFileName;  // the name the recipient sees; null: the path's own name
  LPVOID lpFileType;
};
using lpMapiFileDesc = MapiFileDesc*;

struct MapiRecipDesc {
  ULONG ulReserved;
  ULONG ulRecipClass;
  LPSTR lpszName;
  LPSTR lpszAddress;
  ULONG ulEIDSize;
  LPVOID lpEntryID;
};
using lpMapiRecipDesc = MapiRecipDesc*;

struct MapiMessage {
  ULONG ulReserved;
  LPSTR lpszSubject;
  LPSTR lpszNoteText;
  LPSTR lpszMessageType;
  LPSTR lpszDateReceived;
  LPSTR lpszConversationID;
  FLAGS flFlags;
  lpMapiRecipDesc lpOriginator;
  ULONG nRecipCount;
  lpMapiRecipDesc lpRecips;
  ULONG nFileCount;
  lpMapiFileDesc lpFiles;
};
using lpMapiMessage = MapiMessage*;

using LPMAPISENDMAIL = ULONG (*)(LHANDLE session, ULONG_PTR uiParam, lpMapiMessage message, FLAGS flags,
                                 ULONG reserved);

// Results: SUCCESS_SUCCESS when the mail program took the message; MAPI_E_INVALID_MESSAGE for no message or an
// attachment without a path; MAPI_E_ATTACHMENT_NOT_FOUND for an attachment that is not a readable file;
// MAPI_E_FAILURE when no mail program could be started (no display, or the program is missing).
KXAPI ULONG MAPISendMail(LHANDLE session, ULONG_PTR uiParam, lpMapiMessage message, FLAGS flags, ULONG reserved);

namespace kx {

struct MailAttachment {
  std::string path;
  std::string name;  // as the message gave it ("" when it gave none)
};

struct MailRequest {
  std::string subject;
  std::string text;
  std::vector<std::string> recipients;  // addresses (or names when no address was given), in message order
  std::vector<MailAttachment> attachments;
  FLAGS flags = 0;
  bool handedToMailer = false;  // the mail program was started with it
  ULONG result = 0;             // what MAPISendMail answered
};
KXAPI std::vector<MailRequest> MailRequests();
KXAPI void ClearMailRequests();

}  // namespace kx
