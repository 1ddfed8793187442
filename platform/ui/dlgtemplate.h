// Dialog templates in memory, and the hook through which the resource library supplies templates and images.
//
// Coordinates are dialog units of the template's font (x: quarter of the average character width, y: eighth of
// the character height), as in resource scripts.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/ui.h"

namespace kx {

struct DialogItemTemplate {
  DWORD style = WS_CHILD | WS_VISIBLE;
  DWORD exStyle = 0;
  short x = 0;
  short y = 0;
  short cx = 0;
  short cy = 0;
  int id = 0;
  // A registered class name ("Button", "Edit", "Static", "SysListView32", ...).
  std::string className;
  // Window text. For icon and bitmap statics, "#<number>" names an image resource of the dialog's module.
  std::string text;
  // Passed to WM_CREATE as the creation parameter (lpCreateParams points at it when not empty).
  std::vector<BYTE> creationData;
};

struct DialogTemplate {
  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
  DWORD exStyle = 0;
  short x = 0;
  short y = 0;
  short cx = 0;
  short cy = 0;
  std::string menu;
  // Empty means the dialog class "#32770".
  std::string className;
  std::string title;
  // Font (used when DS_SETFONT is set; otherwise the default dialog font).
  WORD pointSize = 8;
  WORD weight = FW_NORMAL;
  BYTE italic = 0;
  BYTE charSet = DEFAULT_CHARSET;
  std::string faceName = "MS Shell Dlg";
  std::vector<DialogItemTemplate> items;
  // The resource id the template was loaded or copied from (0: none). A dialog made from the template, directly
  // or through the indirect calls, reports it (GetDialogTemplateId). Not part of the stored template bytes.
  ULONG_PTR templateId = 0;
};

// Where templates and images named by module and resource name come from. The resource library installs one;
// names are integer ids (MAKEINTRESOURCE) or strings.
class ResourceSource {
 public:
  virtual ~ResourceSource() = default;
  // The dialog template, or nullptr. The template must stay valid while the module is loaded.
  virtual const DialogTemplate* FindDialog(HINSTANCE module, LPCSTR name) = 0;
  // The bytes of an image: a BMP file image for IMAGE_BITMAP, an ICO/CUR file image for IMAGE_ICON/IMAGE_CURSOR.
  virtual bool LoadImageBytes(HINSTANCE module, LPCSTR name, UINT type, std::string* bytes) = 0;
};

// Installs the source (nullptr removes it). Not owned.
KXAPI void SetResourceSource(ResourceSource* source);
KXAPI ResourceSource* GetResourceSource();

// Templates registered here are found first (by module and name); tests and built-in dialogs use it. A template
// registered under an integer id carries that id.
KXAPI void RegisterDialogTemplate(HINSTANCE module, LPCSTR name, const DialogTemplate& tmpl);
KXAPI void UnregisterDialogTemplate(HINSTANCE module, LPCSTR name);
// The template for a module and name from the registered ones or the resource source, or nullptr.
KXAPI const DialogTemplate* FindDialogTemplate(HINSTANCE module, LPCSTR name);

}  // namespace kx
