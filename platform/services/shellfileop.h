// The shell's file operation (SHFileOperationA): copy, move, delete and rename of files and folders named by
// double-NUL-terminated path lists ("a", NUL, "b", NUL, NUL). Paths use "/"; the last component of a source may
// hold DOS wildcards ("*", "?"). No dialog is shown: every source is checked before anything changes, and where
// the shell would ask the user (replace a file, delete a read-only file) the answer is FOF_NOCONFIRMATION, or a
// refusal without it. A copied file reaches its name only once it is complete.
//
// Results (0 on success): ERROR_INVALID_PARAMETER for a null record, an unknown function or an empty list;
// ERROR_FILE_NOT_FOUND for a source that is missing or a pattern that matches nothing; ERROR_ALREADY_EXISTS
// for a target that exists without FOF_NOCONFIRMATION (and always for a rename); ERROR_ACCESS_DENIED for a
// read-only file to delete or replace without FOF_NOCONFIRMATION; ERROR_NOT_SUPPORTED for a delete that asks
// for undo (there is no recycle bin); the shell's DE_ codes below for the shapes it refuses; otherwise the
// Win32 error of the step that failed, with fAnyOperationsAborted set when earlier steps had already run.
#pragma once

#include "platform/win32/types.h"

#define FO_MOVE 0x0001
#define FO_COPY 0x0002
#define FO_DELETE 0x0003
#define FO_RENAME 0x0004

#define FOF_MULTIDESTFILES 0x0001
#define FOF_CONFIRMMOUSE 0x0002
#define FOF_SILENT 0x0004
#define FOF_RENAMEONCOLLISION 0x0008
#define FOF_NOCONFIRMATION 0x0010
#define FOF_WANTMAPPINGHANDLE 0x0020
#define FOF_ALLOWUNDO 0x0040
#define FOF_FILESONLY 0x0080
#define FOF_SIMPLEPROGRESS 0x0100
#define FOF_NOCONFIRMMKDIR 0x0200
#define FOF_NOERRORUI 0x0400

// The shell's own refusals.
#define DE_SAMEFILE 0x71        // source and target are the same file
#define DE_MANYSRC1DEST 0x72    // several sources for a rename
#define DE_DIFFDIR 0x73         // a rename into another folder
#define DE_DESTSUBTREE 0x76     // a folder copied or moved into itself
#define DE_MANYDEST 0x7A        // more targets than the operation takes
#define DE_FLDDESTISFILE 0x7E   // a folder (or several sources) onto an existing file
#define DE_FILEDESTISFLD 0x80   // a file onto an existing folder of its name

using FILEOP_FLAGS = WORD;

struct SHFILEOPSTRUCTA {
  HWND hwnd;
  UINT wFunc;
  LPCSTR pFrom;
  LPCSTR pTo;
  FILEOP_FLAGS fFlags;
  BOOL fAnyOperationsAborted;
  LPVOID hNameMappings;  // no mappings are made: always null
  LPCSTR lpszProgressTitle;
};
using LPSHFILEOPSTRUCTA = SHFILEOPSTRUCTA*;
using SHFILEOPSTRUCT = SHFILEOPSTRUCTA;

KXAPI int SHFileOperationA(LPSHFILEOPSTRUCTA op);
inline int SHFileOperation(LPSHFILEOPSTRUCTA op) { return SHFileOperationA(op); }
