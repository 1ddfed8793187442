// Handles of wrapper pointers that may be null (pParent->GetSafeHwnd() with no parent, as the framework allows).
#include "platform/mfc/afxstate.h"

HWND kx::afx::SafeHwnd(const CWnd* w) { return w ? w->m_hWnd : nullptr; }
HDC kx::afx::SafeHdc(const CDC* dc) { return dc ? dc->m_hDC : nullptr; }
HGDIOBJ kx::afx::SafeGdi(const CGdiObject* obj) { return obj ? obj->m_hObject : nullptr; }

#include "platform/mfc/controls.h"

HIMAGELIST kx::afx::SafeImageList(const CImageList* list) { return list ? list->m_hImageList : nullptr; }

#include "platform/mfc/menu.h"

HMENU kx::afx::SafeHmenu(const CMenu* menu) { return menu ? menu->m_hMenu : nullptr; }
