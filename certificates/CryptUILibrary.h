// Starts the platform's certificate manager through the library "cryptui", loaded on demand.
#pragma once

#include "platform/win32/types.h"

class CCryptUILibrary {
 public:
  CCryptUILibrary() = default;
  virtual ~CCryptUILibrary();
  CCryptUILibrary(const CCryptUILibrary&) = delete;
  CCryptUILibrary& operator=(const CCryptUILibrary&) = delete;

  // Loads the library the first time; whether it is loaded.
  bool Load();
  // The platform's result; nothing is started (and FALSE answered) when the library or its entry is missing.
  BOOL StartCertMgr();

 private:
  HMODULE m_hModule = nullptr;
};
