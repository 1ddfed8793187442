// The UI driver: acts on the windows of a UI thread the way a person does, from another thread (a test or the host
// tool's script). Input (clicks, keys, typed text) is posted to the UI thread's queue as mouse and keyboard
// messages; reads go through sent messages. Every wait has a time-out; a failed wait or action throws
// UiDriverError whose text lists the windows that exist, so a test never hangs.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ui/ui.h"

namespace kx {

class KXAPI UiDriverError : public std::runtime_error {
 public:
  explicit UiDriverError(const std::string& what) : std::runtime_error(what) {}
};

// A wait, a sent message or the modal call that did not come to its end in time.
class KXAPI UiDriverTimeout : public UiDriverError {
 public:
  using UiDriverError::UiDriverError;
};

// What a wait or a search looks for. Empty fields match anything; names compare without regard to case,
// titles exactly (titleContains: a part of the title).
struct WindowQuery {
  std::string className;
  std::string title;
  std::string titleContains;
  ULONG_PTR templateId = 0;  // dialogs made from this template id, top-level or child (a sheet's page)
  int controlId = 0;         // used with a parent: the control id (0: any)
  // Search among the descendants of this window; nullptr: the top-level windows (and, for a template id, their
  // descendants).
  HWND parent = nullptr;
  bool visibleOnly = true;
  bool enabledOnly = false;
};

// One line per window: handle, class, title, id, visible/enabled flags, indented by depth.
KXAPI std::string DescribeWindows();

class KXAPI UiDriver {
 public:
  // timeoutMs: default time-out of every wait (the environment variable KX_UI_TIMEOUT_MS overrides the default).
  explicit UiDriver(int timeoutMs = 0);

  int Timeout() const { return timeoutMs_; }
  void SetTimeout(int ms) { timeoutMs_ = ms; }

  // --- waiting and finding ---
  HWND WaitForWindow(const WindowQuery& query, int timeoutMs = 0);
  // A visible dialog made from the template: a top-level dialog or a child one such as a property page.
  HWND WaitForDialog(ULONG_PTR templateId, int timeoutMs = 0);
  HWND WaitForTitle(const std::string& title, int timeoutMs = 0);
  // The message box (class "#32770" with the message-box text control) that appears next or is already shown.
  HWND WaitForMessageBox(int timeoutMs = 0);
  // Waits until the window no longer exists (or is hidden when hiddenIsGone).
  void WaitForGone(HWND hwnd, bool hiddenIsGone = false, int timeoutMs = 0);
  // Waits until `condition` (evaluated on the driver's thread) holds; `what` names it in the error.
  void WaitUntil(const std::function<bool()>& condition, const std::string& what, int timeoutMs = 0);
  // Waits until a control's state holds: enabled, text, and so on are read through messages.
  void WaitForEnabled(HWND hwnd, bool enabled = true, int timeoutMs = 0);
  void WaitForText(HWND hwnd, const std::string& text, int timeoutMs = 0);
  // Returns the first matching window now, or nullptr.
  HWND Find(const WindowQuery& query);
  // The visible dialog (top-level or child) made from the template now, or nullptr.
  HWND FindDialog(ULONG_PTR templateId);
  // The control with this id among the window's descendants; throws when there is none.
  HWND Control(HWND parent, int id);
  // A descendant by its text (after removing '&' markers) and, optionally, class; throws when there is none.
  HWND ControlByText(HWND parent, const std::string& text, const std::string& className = "");
  // The index-th descendant of a class (in z-order, depth first); throws when there is none.
  HWND ControlByClass(HWND parent, const std::string& className, int index = 0);

  // --- acting (input is posted, then the driver waits until the UI thread has taken it and gone idle) ---
  void Click(HWND hwnd);
  void DoubleClick(HWND hwnd);
  void RightClick(HWND hwnd);
  void ClickAt(HWND hwnd, int x, int y);  // client coordinates
  void DoubleClickAt(HWND hwnd, int x, int y);
  void RightClickAt(HWND hwnd, int x, int y);
  void MouseMoveTo(HWND hwnd, int x, int y);
  // Clicks into the control (giving it the focus), selects all of its text and types the new text.
  void SetText(HWND edit, const std::string& text);
  // Types text into the window that has the focus, as key and character messages.
  void Type(const std::string& text);
  // Presses and releases a key with modifiers.
  void PressKey(UINT vk, bool shift = false, bool control = false, bool alt = false);
  // Ticks or clears a check box by clicking it when its state differs.
  void SetCheck(HWND checkbox, bool checked);
  // Clicks the button of the shown message box (the box appears within the time-out); returns the box's text.
  std::string AnswerMessageBox(int buttonId, int timeoutMs = 0);
  // Focus a control as a person would with the mouse (without clicking buttons): sends it the focus.
  void Focus(HWND hwnd);
  // Waits until the UI thread of the window has taken all posted input and waits for more.
  void Sync(HWND hwnd);

  // --- reading (through messages to the owner thread) ---
  std::string Text(HWND hwnd);
  bool IsChecked(HWND hwnd);
  bool IsEnabled(HWND hwnd);
  bool IsVisible(HWND hwnd);
  HWND FocusedWindow(HWND anyWindowOfThread);
  std::string ClassName(HWND hwnd);
  // The message box's text (the static text control).
  std::string MessageBoxText(HWND box);

  // --- low level ---
  LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  void Post(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  // Runs a function on the window's thread and waits for it (it must not start a modal loop).
  void Invoke(HWND hwnd, const std::function<void()>& fn);
  // Renders a window to a PNG file (after its pending paints).
  void SavePng(HWND hwnd, const std::string& path);

  // Throws UiDriverError with the message and the list of windows.
  [[noreturn]] void Fail(const std::string& message);
  // Fail, for what did not happen in time (UiDriverTimeout).
  [[noreturn]] void TimedOut(const std::string& message);

 private:
  void PostMouse(HWND hwnd, int x, int y, UINT down, UINT up, bool twice);
  void CheckUsable(HWND hwnd, const char* action);
  int Pick(int timeoutMs) const { return timeoutMs > 0 ? timeoutMs : timeoutMs_; }
  int timeoutMs_;
};

// Runs `modal` on a new UI thread (which returns when the modal call returns) and `script` with a driver on the
// calling thread. When the script throws or the modal call does not return in time, every window of the UI
// thread is closed, the error is rethrown as UiDriverError and nothing is left running.
KXAPI INT_PTR RunWithUi(const std::function<INT_PTR()>& modal, const std::function<void(UiDriver&)>& script,
                        int timeoutMs = 0);
// The same with the roles turned: the modal call runs on the calling thread (a host's own UI thread) and the
// script on a new one. When the script fails or ends while the modal call still runs, the modal call's dialogs
// are ended after the time-out; the script's error is rethrown after the modal call returned.
KXAPI INT_PTR RunWithUiHere(const std::function<INT_PTR()>& modal, const std::function<void(UiDriver&)>& script,
                            int timeoutMs = 0);

}  // namespace kx
