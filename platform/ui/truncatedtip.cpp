#include "platform/ui/truncatedtip.h"

#include <cstring>

namespace kx::ctl {

namespace {
constexpr UINT_PTR kToolId = 1;

TOOLINFOA ToolOf(HWND owner) {
  TOOLINFOA ti{};
  ti.cbSize = sizeof ti;
  ti.hwnd = owner;
  ti.uId = kToolId;
  return ti;
}
}  // namespace

void TruncatedTip::RemoveTool(HWND owner) {
  if (!m_tool) return;
  TOOLINFOA ti = ToolOf(owner);
  if (m_tip && IsWindow(m_tip)) SendMessage(m_tip, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  m_tool = false;
  m_text.clear();
}

void TruncatedTip::Relay(HWND owner, UINT msg, WPARAM wp, LPARAM lp) {
  if (!m_tip || !IsWindow(m_tip)) return;
  MSG m{owner, msg, wp, lp, 0, POINT{0, 0}};
  SendMessage(m_tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&m));
}

void TruncatedTip::Hover(HWND owner, UINT msg, WPARAM wp, LPARAM lp, const RECT& part, const std::string& text,
                         bool cut) {
  if (!cut || text.empty()) {
    Leave(owner, msg, wp, lp);
    return;
  }
  if (!m_tip || !IsWindow(m_tip)) {
    m_tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0,
                            0, owner, nullptr, nullptr, nullptr);
    if (!m_tip) return;
    SendMessage(m_tip, WM_SETFONT, SendMessage(owner, WM_GETFONT, 0, 0), 0);
    m_tool = false;
  }
  if (!m_tool || !EqualRect(&part, &m_part) || text != m_text) {
    RemoveTool(owner);
    TOOLINFOA ti = ToolOf(owner);
    ti.rect = part;
    ti.lpszText = const_cast<char*>(text.c_str());
    m_tool = SendMessage(m_tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti)) != 0;
    m_part = part;
    m_text = text;
  }
  // The pointer leaving the control ends the tip.
  TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, owner, 0};
  TrackMouseEvent(&tme);
  Relay(owner, msg, wp, lp);
}

void TruncatedTip::Leave(HWND owner, UINT msg, WPARAM wp, LPARAM lp) {
  Relay(owner, msg, wp, lp);
  if (msg == WM_MOUSEMOVE || msg == WM_MOUSELEAVE) RemoveTool(owner);
}

void TruncatedTip::Destroy() {
  if (m_tip && IsWindow(m_tip)) DestroyWindow(m_tip);
  m_tip = nullptr;
  m_tool = false;
  m_text.clear();
}

}  // namespace kx::ctl
