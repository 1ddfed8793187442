#include "app/ResString.h"

#include <cstring>

#include "app/BrinmoorApp.h"
#include "platform/mfc/resource.h"

CString LoadResString(CString& out, UINT id) {
  char buffer[1048];
  memset(buffer, 0, 1024);
  CString text;
  CBrinmoorApp* app = CBrinmoorApp::GetInstance();
  if (app && app->m_hResourceModule && LoadString(app->m_hResourceModule, id, buffer, sizeof buffer) > 0)
    text = buffer;
  out = text;
  return out;
}

CString LoadResString(UINT id) {
  CString text;
  return LoadResString(text, id);
}
