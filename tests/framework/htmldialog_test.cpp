// The HTML-dialog service (MSHTML.DLL's ShowHTMLDialog over URL monikers) with the library's HELP pages, and the
// HTML Help entry.
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/com/bstr.h"
#include "platform/services/htmldialog.h"
#include "platform/services/htmlhelp.h"
#include "platform/ui/driver.h"
#include "platform/win32/win32.h"
#include "support/testroot.h"

namespace {

std::string HelpPage(const char* name) { return kx::PlatformLibraryDir() + "/HELP/" + name; }

struct Answer {
  HRESULT hr = E_FAIL;
  bool hasResult = false;
  std::string result;
};

// Shows a page the way the library's HTML dialog box does: the engine by module name, a moniker of the path,
// a string argument, an empty result.
Answer ShowPage(const std::string& path, const char* argument) {
  Answer a;
  HMODULE engine = LoadLibrary("MSHTML.DLL");
  if (!engine) return a;
  auto show = reinterpret_cast<SHOWHTMLDIALOGFN>(GetProcAddress(engine, "ShowHTMLDialog"));
  std::u16string url = kx::Utf8ToUtf16(path.data(), path.size());
  IMoniker* moniker = nullptr;
  if (show && SUCCEEDED(CreateURLMoniker(nullptr, url.c_str(), &moniker))) {
    VARIANT in, out;
    VariantInit(&in);
    VariantInit(&out);
    if (argument) {
      std::u16string w = kx::Utf8ToUtf16(argument, strlen(argument));
      in.vt = VT_BSTR;
      in.bstrVal = SysAllocString(w.c_str());
    }
    a.hr = show(nullptr, moniker, &in, nullptr, &out);
    a.hasResult = out.vt == VT_BSTR;
    if (a.hasResult) a.result = kx::Utf16ToUtf8(out.bstrVal, SysStringLen(out.bstrVal));
    VariantClear(&in);
    VariantClear(&out);
    moniker->Release();
  }
  FreeLibrary(engine);
  return a;
}

TEST(HtmlDialog, YesNoPageAnsweredThroughTheDriver) {
  struct Case {
    const char* button;
    bool hasResult;
    const char* result;
  };
  for (const Case& c : {Case{"Yes", true, "Yes"}, Case{"No", false, ""}}) {
    Answer a;
    kx::RunWithUi(
        [&] {
          a = ShowPage(HelpPage("mboxyesno.htm"), "Office Tolvex;Replace the file? It is; really old.");
          return 0;
        },
        [&](kx::UiDriver& d) {
          HWND box = d.WaitForTitle("Office Tolvex");
          // The message part keeps its own ';'.
          HWND text = d.ControlByText(box, "Replace the file? It is; really old.", "Static");
          EXPECT_EQ(d.Text(text), "Replace the file? It is; really old.");
          // The question's icon, as a message box has, left of the message.
          HWND icon = GetDlgItem(box, 101);
          ASSERT_NE(icon, nullptr);
          EXPECT_EQ(d.Send(icon, STM_GETICON), reinterpret_cast<LRESULT>(LoadIcon(nullptr, IDI_QUESTION)));
          RECT ir{}, tr{};
          GetWindowRect(icon, &ir);
          GetWindowRect(text, &tr);
          EXPECT_EQ(ir.right - ir.left, 32);
          EXPECT_GT(tr.left, ir.right);
          d.Click(d.ControlByText(box, c.button, "Button"));
          d.WaitForGone(box);
        });
    EXPECT_EQ(a.hr, S_OK) << c.button;
    EXPECT_EQ(a.hasResult, c.hasResult) << c.button;
    EXPECT_EQ(a.result, c.result) << c.button;
  }
}

TEST(HtmlDialog, EscapeAndTheOneButtonPage) {
  Answer esc, ok;
  kx::RunWithUi(
      [&] {
        esc = ShowPage(HelpPage("mboxyesno.htm"), "Caption;Question?");
        ok = ShowPage(HelpPage("mbox.htm"), "Caption;Done.");
        return 0;
      },
      [&](kx::UiDriver& d) {
        HWND box = d.WaitForTitle("Caption");
        d.PressKey(VK_ESCAPE);
        d.WaitForGone(box);
        box = d.WaitForTitle("Caption");
        d.PressKey(VK_RETURN);  // OK is the default button
        d.WaitForGone(box);
      });
  EXPECT_EQ(esc.hr, S_OK);
  EXPECT_FALSE(esc.hasResult);
  EXPECT_EQ(ok.hr, S_OK);
  EXPECT_EQ(ok.result, "OK");
}

TEST(HtmlDialog, FailuresReportedNotShown) {
  EXPECT_TRUE(FAILED(ShowPage(kxtest::Root() + "/no-such-page.htm", "a;b").hr));
  IMoniker* m = reinterpret_cast<IMoniker*>(1);
  EXPECT_EQ(CreateURLMoniker(nullptr, u"", &m), MK_E_SYNTAX);
  EXPECT_EQ(m, nullptr);
  kx::SetBuiltinModuleMissing("MSHTML.DLL", true);
  EXPECT_EQ(LoadLibrary("MSHTML.DLL"), nullptr);
  kx::SetBuiltinModuleMissing("MSHTML.DLL", false);
}

TEST(HtmlDialog, PageConvention) {
  struct Case {
    const char* html;
    const char* argument;
    const char* title;
    const char* text;
    std::vector<std::string> buttons;  // label=value, or label alone without a value
  };
  const Case cases[] = {
      {"<html><head><title>{argument:1}</title><script>alert('x<p>')</script></head>"
       "<body><p>{argument:2}</p><button value=\"OK\" autofocus>OK</button></body></html>",
       "Cap;A &lt;b&gt; text; more", "Cap", "A &lt;b&gt; text; more", {"OK=OK"}},
      {"<title>T &amp; U</title><h1>Head</h1><p>one<br>two &#x41;&#66;</p><p>three\n   four</p>"
       "<button>No value</button><input type=button value=Go>",
       "", "T & U", "Head\n\none\ntwo AB\n\nthree four", {"No value", "Go=Go"}},
      {"<p>{argument}</p>", "x;y", "", "x;y", {"Close"}},
      {"<p>{argument:3}|{argument:1}</p>", "a;b;c;d", "", "c;d|a", {"Close"}},
  };
  for (const Case& c : cases) {
    kx::HtmlPage p = kx::ParseHtmlPage(c.html, c.argument);
    EXPECT_EQ(p.title, c.title) << c.html;
    EXPECT_EQ(p.text, c.text) << c.html;
    std::vector<std::string> got;
    for (const auto& b : p.buttons) got.push_back(b.hasValue ? b.label + "=" + b.value : b.label);
    EXPECT_EQ(got, c.buttons) << c.html;
  }
}

TEST(HtmlHelp, RecordedWithoutADisplayOpenedWithOne) {
  std::string dir = kxtest::MakeTempDir("help");
  std::string log = dir + "/opened.txt";
  std::string opener = dir + "/opener.sh";
  kxtest::WriteFile(opener, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + log + "'\n");
  chmod(opener.c_str(), 0755);
  std::string chm = kx::PlatformLibraryDir() + "/Zelvane.chm";
  HMODULE hh = LoadLibrary("hhctrl.ocx");
  ASSERT_NE(hh, nullptr);
  auto help = reinterpret_cast<HWND (*)(HWND, LPCSTR, UINT, DWORD_PTR)>(GetProcAddress(hh, MAKEINTRESOURCE(14)));
  ASSERT_NE(help, nullptr);
  kx::ClearHelpRequests();
  const char* display = getenv("DISPLAY");
  std::string saved = display ? display : "";
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  EXPECT_EQ(help(nullptr, chm.c_str(), HH_DISPLAY_TOPIC, 0), nullptr);
  setenv("DISPLAY", ":99", 1);
  setenv("KX_DESKTOP_OPENER", opener.c_str(), 1);
  help(nullptr, (chm + "::/intro.htm>main").c_str(), HH_HELP_CONTEXT, 15);
  help(nullptr, chm.c_str(), HH_CLOSE_ALL, 0);
  unsetenv("KX_DESKTOP_OPENER");
  if (display) setenv("DISPLAY", saved.c_str(), 1);
  else unsetenv("DISPLAY");
  auto requests = kx::HelpRequests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].file, chm);
  EXPECT_FALSE(requests[0].opened);
  EXPECT_EQ(requests[1].file, chm);
  EXPECT_EQ(requests[1].command, static_cast<UINT>(HH_HELP_CONTEXT));
  EXPECT_EQ(requests[1].data, 15u);
  EXPECT_TRUE(requests[1].opened);
  EXPECT_FALSE(requests[2].opened);
  // The opener gets the help document under a name that says it is HTML.
  std::string opened;
  for (int i = 0; i < 200 && (opened = kxtest::ReadFile(log)).empty(); ++i) Sleep(10);
  ASSERT_FALSE(opened.empty());
  EXPECT_NE(opened.find("Zelvane.chm.htm"), std::string::npos) << opened;
  FreeLibrary(hh);
}

}  // namespace
