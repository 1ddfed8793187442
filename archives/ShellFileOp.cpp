#include "archives/ShellFileOp.h"

#include <cstdlib>
#include <cstring>

CShellFileOp::CShellFileOp() { m_op.lpszProgressTitle = m_szTitle; }

CShellFileOp::~CShellFileOp() {
  free(m_pSource);
  free(m_pDest);
}

bool CShellFileOp::Append(char*& buffer, char*& position, DWORD& capacity, DWORD& used, LPCSTR& listField,
                          LPCSTR path) {
  if (!path) return false;
  const size_t length = strlen(path);
  const size_t needed = static_cast<size_t>(used) + length + 2;
  if (needed > 0xFFFFFFFFu) {
    m_bOutOfMemory = true;
    return false;
  }
  if (needed > capacity) {
    char* grown = static_cast<char*>(realloc(buffer, needed));
    if (!grown) {
      m_bOutOfMemory = true;
      return false;
    }
    if (!buffer) grown[0] = 0;
    position = grown + used;
    buffer = grown;
    capacity = static_cast<DWORD>(needed);
    listField = buffer;
  }
  memcpy(position, path, length + 1);
  position += length + 1;
  used += static_cast<DWORD>(length + 1);
  *position = 0;
  return true;
}

bool CShellFileOp::AddPath(int which, LPCSTR path) {
  if (which == 0) return Append(m_pSource, m_pSourcePos, m_nSourceCapacity, m_nSourceUsed, m_op.pFrom, path);
  return Append(m_pDest, m_pDestPos, m_nDestCapacity, m_nDestUsed, m_op.pTo, path);
}

int CShellFileOp::Run() {
  if (m_bOutOfMemory) return ERROR_NOT_ENOUGH_MEMORY;
  m_op.fAnyOperationsAborted = FALSE;
  m_op.wFunc = FO_COPY;
  return SHFileOperationA(&m_op);
}
