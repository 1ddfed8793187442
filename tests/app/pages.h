// Driving the library's pages as a person does: its message pages and the pages of its sheets.
#pragma once

#include <string>

#include "platform/ui/driver.h"

namespace kxtest {

// Answers the library's message page (caption: resource string 283) with a button; returns its text.
inline std::string AnswerPage(kx::UiDriver& d, const char* button) {
  HWND page = d.WaitForTitle("Office Tolvex");
  std::string text;
  for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (d.ClassName(child) == "Static") text += d.Text(child);
  d.Click(d.ControlByText(page, button, "Button"));
  d.WaitForGone(page);
  return text;
}

// A sheet's page by its template.
inline HWND Page(kx::UiDriver& d, HWND sheet, ULONG_PTR templateId) {
  kx::WindowQuery q;
  q.templateId = templateId;
  q.parent = sheet;
  return d.WaitForWindow(q);
}

}  // namespace kxtest
