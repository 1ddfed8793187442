// The zip component, through which the package wizard packs a finished package into a zip file.
#pragma once

#include "platform/win32/types.h"

struct IUnknown;
struct IZipComponentArchive;
struct IZipComponentAdd;

class CZipComponent {
 public:
  CZipComponent() = default;
  virtual ~CZipComponent();
  CZipComponent(const CZipComponent&) = delete;
  CZipComponent& operator=(const CZipComponent&) = delete;

  // Creates the component and through it the (empty) zip file of that name; FALSE when any step fails.
  BOOL Create(LPCSTR zipPath);
  // Adds the file to the zip file; option is the component's compression level (9: smallest). 0 on success,
  // the failure's result code otherwise (E_POINTER before a successful Create).
  int AddPath(LPCSTR path, SHORT option);

 private:
  void Release();

  IZipComponentArchive* m_pArchive = nullptr;
  IZipComponentAdd* m_pAdd = nullptr;
  IUnknown* m_pInfo = nullptr;
};
