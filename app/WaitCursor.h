#pragma once

#include "platform/mfc/cmdtarget.h"

namespace kx {

// The wait cursor while an object of it lives (not at all when `on` is false).
class WaitCursor {
 public:
  explicit WaitCursor(CCmdTarget* target, bool on = true) : m_target(on ? target : nullptr) {
    if (m_target) m_target->BeginWaitCursor();
  }
  ~WaitCursor() {
    if (m_target) m_target->EndWaitCursor();
  }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  CCmdTarget* m_target;
};

}  // namespace kx
