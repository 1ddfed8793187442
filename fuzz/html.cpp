// HTML pages of the HTML dialog: a page (and, before a zero byte, the argument string put into it) parsed
// into its title, text and buttons, and the dialog template made from them. The page's source is compiled
// into this file so that the template step, private to it, is reached too.
#include "platform/services/htmldialog.cpp"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const size_t zero = bytes.find('\0');
  const std::string argument = zero == std::string::npos ? "first;second" : bytes.substr(0, zero);
  const std::string html = zero == std::string::npos ? bytes : bytes.substr(zero + 1);
  const kx::HtmlPage page = kx::ParseHtmlPage(html, argument);
  kx::DialogTemplate t = PageTemplate(page);
  (void)t;
  return 0;
}
