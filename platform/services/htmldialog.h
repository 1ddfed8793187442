// HTML dialogs: the built-in module "MSHTML.DLL" with its entry "ShowHTMLDialog", and URL monikers
// (CreateURLMoniker, also reachable as "URLMON.DLL").
//
// A page is shown as a modal dialog made from its HTML: the <title> is the caption, the body's text (markup
// removed) is the message, each <button> becomes a push button. "{argument}" in the page stands for the argument
// string, "{argument:N}" for its N-th part between ';'. Pressing a button closes the page and returns the
// button's value attribute as a string; a button without a value, Escape or the close box return nothing.
// Pages are files ("file://" addresses or plain paths); the resource library holds no HTML pages, so a
// "res://" address finds nothing. An <img src="icon:NAME"> shows the window system's standard icon NAME
// ("exclamation", "question", "information", "error") left of the message, as a message box does.
#pragma once

#include <string>
#include <vector>

#include "platform/com/oleauto.h"
#include "platform/com/unknwn.h"

struct IBindCtx;

// The part of a moniker the HTML dialog needs: its display name (the page's address).
struct IMoniker : IUnknown {
  STDMETHOD(GetDisplayName)(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR* ppszDisplayName) = 0;
};
KX_DEFINE_IID(IMoniker, "0000000f-0000-0000-C000-000000000046");

constexpr HRESULT MK_E_SYNTAX = KX_HR(0x800401E4);

// A moniker for the address; MK_E_SYNTAX for an empty one.
KXAPI HRESULT CreateURLMoniker(IMoniker* pMkCtx, LPCWSTR szURL, IMoniker** ppmk);

using SHOWHTMLDIALOGFN = HRESULT (*)(HWND hwndParent, IMoniker* pMk, VARIANT* pvarArgIn, LPWSTR pchOptions,
                                     VARIANT* pvarArgOut);
// Shows the page modally over hwndParent; S_OK when it was shown and closed (the returned value, if any, in
// pvarArgOut as a string), a failure code when the page cannot be read.
KXAPI HRESULT ShowHTMLDialog(HWND hwndParent, IMoniker* pMk, VARIANT* pvarArgIn, LPWSTR pchOptions,
                             VARIANT* pvarArgOut);

namespace kx {

// What a page shows, after the argument is put in.
struct HtmlPage {
  struct Button {
    std::string label;
    std::string value;
    bool hasValue = false;
    bool isDefault = false;
  };
  std::string title;
  std::string text;
  std::string icon;  // the standard icon's name, or empty
  std::vector<Button> buttons;
};
KXAPI HtmlPage ParseHtmlPage(const std::string& html, const std::string& argument);

}  // namespace kx
