// One copy through the shell's file operation, with the source and destination kept as the shell's
// double-NUL-terminated path lists, grown as paths are added.
#pragma once

#include "platform/services/shellfileop.h"
#include "platform/win32/types.h"

class CShellFileOp {
 public:
  CShellFileOp();
  virtual ~CShellFileOp();
  CShellFileOp(const CShellFileOp&) = delete;
  CShellFileOp& operator=(const CShellFileOp&) = delete;

  void SetFlags(FILEOP_FLAGS flags) { m_op.fFlags = flags; }
  // which 0: the source list; any other value: the destination list. False (the list unchanged) for a null
  // path or when memory ran out; Run then refuses.
  bool AddPath(int which, LPCSTR path);
  // Copies (FO_COPY); the shell's result, 0 on success; ERROR_NOT_ENOUGH_MEMORY after a failed add.
  int Run();

  // The lists as the shell receives them (null until a path was added) and their used lengths, the closing
  // NUL not counted.
  LPCSTR GetSourceList() const { return m_op.pFrom; }
  LPCSTR GetDestinationList() const { return m_op.pTo; }
  DWORD GetSourceLength() const { return m_nSourceUsed; }
  DWORD GetDestinationLength() const { return m_nDestUsed; }

 private:
  bool Append(char*& buffer, char*& position, DWORD& capacity, DWORD& used, LPCSTR& listField, LPCSTR path);

  DWORD m_nSourceCapacity = 0;
  DWORD m_nDestCapacity = 0;
  DWORD m_nSourceUsed = 0;
  DWORD m_nDestUsed = 0;
  SHFILEOPSTRUCTA m_op{};
  char* m_pDest = nullptr;
  char* m_pSource = nullptr;
  char* m_pSourcePos = nullptr;
  char* m_pDestPos = nullptr;
  char m_szTitle[MAX_PATH] = {};
  bool m_bOutOfMemory = false;
};
