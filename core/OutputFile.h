// An output file written under a temporary name beside the name it will have, and given that name only once
// it is whole: a run that is killed, crashes or fails half-way leaves no file under the output's name.
// Outputs never replace a file: the name is the first free one of first, first(1), first(2) ... ("(n)"
// before the last extension), looked for again when another writer took it in the meantime.
#pragma once

#include "platform/mfc/cstring.h"

class COutputFile {
 public:
  COutputFile() = default;
  // An output neither committed nor kept goes with its owner.
  ~COutputFile();
  COutputFile(const COutputFile&) = delete;
  COutputFile& operator=(const COutputFile&) = delete;

  // Picks the name and makes the (empty) temporary file beside it, exclusively. False, with the thread's last
  // error set, when nothing can be made in that folder.
  bool Create(const CString& first);
  bool IsCreated() const { return !m_strTemporary.IsEmpty(); }
  // Where the writer writes.
  const CString& GetTemporaryPath() const { return m_strTemporary; }
  // The name the output gets on Commit (the next free one may be taken there, see Commit).
  const CString& GetPath() const { return m_strPath; }
  // The written temporary file takes its name, replacing nothing; when another writer took that name in the
  // meantime, the next free one. False (the temporary file removed, the last error set) when it cannot.
  bool Commit();
  // Removes the temporary file; after a Commit nothing.
  void Discard();
  bool IsCommitted() const { return m_bCommitted; }

  // The nth candidate name of first: first itself for 0, else "(n)" before its last extension.
  static CString Numbered(const CString& first, int n);

 private:
  CString m_strFirst;
  CString m_strPath;
  CString m_strTemporary;
  int m_nNumber = 0;
  bool m_bCommitted = false;
};
