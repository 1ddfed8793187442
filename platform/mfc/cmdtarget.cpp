#include "platform/mfc/cmdtarget.h"

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

CCmdTarget::CCmdTarget() = default;
CCmdTarget::~CCmdTarget() = default;

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {nullptr, &entries[0]};
  return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

namespace {
// Commands and notifications are matched by code and control id; window messages by the message alone.
bool CommandLike(UINT message) {
  return message == WM_COMMAND || message == WM_NOTIFY || message == WM_REFLECT_BASE + WM_COMMAND ||
         message == WM_REFLECT_BASE + WM_NOTIFY;
}
}  // namespace

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(const AFX_MSGMAP* map, UINT message, UINT code, UINT id,
                                                     const AFX_MSGMAP_ENTRY* after) {
  bool command = CommandLike(message);
  bool started = after == nullptr;
  for (; map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e && e->pfn; ++e) {
      if (!started) {
        if (e == after) started = true;
        continue;
      }
      if (e->nMessage != message) continue;
      if (command && (static_cast<WORD>(e->nCode) != static_cast<WORD>(code) || id < e->nID || id > e->nLastID))
        continue;
      return e;
    }
  }
  return nullptr;
}

BOOL CCmdTarget::DispatchToMap(kx::AfxMsg& msg, LRESULT* result) {
  const AFX_MSGMAP* map = GetMessageMap();
  const AFX_MSGMAP_ENTRY* e = nullptr;
  while ((e = FindMessageEntry(map, msg.message, msg.nCode, msg.nID, e)) != nullptr) {
    msg.handled = TRUE;
    LRESULT r = e->pfn(this, msg);
    if (msg.handled) {
      if (result) *result = r;
      return TRUE;
    }
  }
  return FALSE;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
  UINT message = HIWORD(static_cast<UINT>(nCode)) ? HIWORD(static_cast<UINT>(nCode)) : WM_COMMAND;
  kx::AfxMsg local;
  kx::AfxMsg& msg = pExtra ? *static_cast<kx::AfxMsg*>(pExtra) : local;
  msg.message = message;
  msg.nID = nID;
  msg.nCode = LOWORD(static_cast<UINT>(nCode));
  if (pHandlerInfo) {
    const AFX_MSGMAP_ENTRY* e = FindMessageEntry(GetMessageMap(), message, msg.nCode, nID);
    if (e) pHandlerInfo->pTarget = this;
    return e != nullptr;
  }
  LRESULT result = 0;
  return DispatchToMap(msg, &result);
}

void CCmdTarget::OnFinalRelease() { delete this; }

void CCmdTarget::BeginWaitCursor() { SetCursor(LoadCursor(nullptr, IDC_WAIT)); }
void CCmdTarget::EndWaitCursor() { SetCursor(LoadCursor(nullptr, IDC_ARROW)); }
void CCmdTarget::RestoreWaitCursor() { SetCursor(LoadCursor(nullptr, IDC_WAIT)); }
