// kxhost's scripts: one UI-driver action a line, run on a thread of their own while the export shows its user
// interface. See kxhost --help for the actions.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ui/driver.h"

namespace kxhost {

struct ScriptError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Action {
  int line = 0;
  std::string verb;
  std::vector<std::string> args;  // words and quoted texts, quotes removed
};

// Reads a script; throws ScriptError naming the line for an unknown action or a missing argument.
std::vector<Action> ParseScript(const std::string& text, const std::string& name);

class ScriptRunner {
 public:
  // shotDir: where screenshots go; with everyPage, a PNG of each page or window shown is written as it appears.
  ScriptRunner(std::string name, std::string shotDir, bool everyPage)
      : name_(std::move(name)), shotDir_(std::move(shotDir)), everyPage_(everyPage) {}
  // Runs the actions in order; throws ScriptError with the script's name, the line and what failed.
  void Run(kx::UiDriver& d, const std::vector<Action>& actions);
  const std::vector<std::string>& Shots() const { return shots_; }
  // Whether the action that failed ran out of time (rather than finding what it expected wrong).
  bool TimedOut() const { return timedOut_; }

 private:
  void Do(kx::UiDriver& d, const Action& a);
  HWND Find(kx::UiDriver& d, const std::string& ref);
  HWND Window(kx::UiDriver& d);
  void Answer(kx::UiDriver& d, const std::string& button, const std::string* expected);
  void Pick(kx::UiDriver& d, HWND control, const std::string& text);
  void Capture(kx::UiDriver& d);
  void Where(kx::UiDriver& d, HWND control, const std::string& name, const std::string* row);
  std::string Shot(kx::UiDriver& d, HWND window, const std::string& name);

  std::string name_, shotDir_;
  bool everyPage_;
  HWND window_ = nullptr;  // the window the last wait found
  HWND page_ = nullptr;    // the page the last page action found
  std::vector<std::string> shots_;
  std::vector<std::string> seen_;  // what was captured already (window, title, visible pages)
  bool timedOut_ = false;
};

}  // namespace kxhost
