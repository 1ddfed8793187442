// Driving the library's pages as a person does: its message pages and the pages of its sheets.
#pragma once

#include <string>

#include "platform/ui/driver.h"
#include "platform/ui/prsht.h"

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

// A wizard's run has ended when its end button is enabled: a picture of it when asked (shotPath), then on
// through the finish page, when there is one, to the end of the wizard.
inline void FinishRun(kx::UiDriver& d, HWND sheet, const std::string& shotPath = "") {
  HWND next = d.Control(sheet, ID_WIZNEXT), finish = d.Control(sheet, ID_WIZFINISH);
  d.WaitUntil([&] { return (d.IsVisible(next) && d.IsEnabled(next)) || (d.IsVisible(finish) && d.IsEnabled(finish)); },
              "the end of the run");
  if (!shotPath.empty()) d.SavePng(sheet, shotPath);
  if (d.IsVisible(next) && d.IsEnabled(next)) {
    d.Click(next);
    Page(d, sheet, 4250);
  }
  d.Click(finish);
  d.WaitForGone(sheet);
}

}  // namespace kxtest
