// An output file written where a run that is killed, crashes or fails half-way leaves nothing: an unnamed file
// in the output's folder, readable by its owner only, given its name (and the mode the umask gives) only once
// it is whole (see kx::CNewFile). Outputs never replace a file: the name is the first free one of first,
// first(1), first(2) ... ("(n)" before the last extension), looked for again when another writer took it in
// the meantime.
#pragma once

#include "platform/mfc/cstring.h"
#include "platform/win32/newfile.h"

class COutputFile {
 public:
  COutputFile() = default;
  // An output neither committed nor kept goes with its owner.
  ~COutputFile();
  COutputFile(const COutputFile&) = delete;
  COutputFile& operator=(const COutputFile&) = delete;

  // Picks the name and makes the (empty) file in its folder. False, with the thread's last error set, when
  // nothing can be made in that folder.
  bool Create(const CString& first);
  bool IsCreated() const { return m_file.IsCreated(); }
  // Where the writer writes: a path of this process only, good until Commit or Discard.
  const CString& GetTemporaryPath() const { return m_strTemporary; }
  // The name the output gets on Commit (the next free one may be taken there, see Commit).
  const CString& GetPath() const { return m_strPath; }
  // The written file takes its name, replacing nothing; when another writer took that name in the meantime,
  // the next free one. False (the file removed, the last error set) when it cannot.
  bool Commit();
  // Removes the file; after a Commit nothing.
  void Discard();
  bool IsCommitted() const { return m_bCommitted; }

  // The nth candidate name of first: first itself for 0, else "(n)" before its last extension.
  static CString Numbered(const CString& first, int n);

 private:
  kx::CNewFile m_file;
  CString m_strFirst;
  CString m_strPath;
  CString m_strTemporary;
  int m_nNumber = 0;
  bool m_bCommitted = false;
};

// The folder of an output made of input: folder with its "/" (added when missing), or the input's own folder
// when folder is empty (empty for a bare file name).
CString OutputFolderOf(const CString& input, const CString& folder);
// The first name of the protected file made of input: the input's name and extension with ".Tvx", in
// OutputFolderOf(input, folder). COutputFile::Create numbers it when taken.
CString ProtectedFileName(const CString& input, const CString& folder);
