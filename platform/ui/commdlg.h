// The common dialogs: open and save file dialogs over the real file system, and the colour dialog. Each is a
// modal dialog of the window system, so a person (or the UI driver) fills it: the file dialog lists the folder's
// folders and the files that pass the chosen filter; typing a folder into the name box and pressing Open goes
// there; picking rows (Ctrl for several) or typing names chooses files.
#pragma once

#include <string>

#include "platform/ui/ui.h"

#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_NOCHANGEDIR 0x00000008
#define OFN_SHOWHELP 0x00000010
#define OFN_ENABLEHOOK 0x00000020
#define OFN_ENABLETEMPLATE 0x00000040
#define OFN_ENABLETEMPLATEHANDLE 0x00000080
#define OFN_NOVALIDATE 0x00000100
#define OFN_ALLOWMULTISELECT 0x00000200
#define OFN_EXTENSIONDIFFERENT 0x00000400
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_CREATEPROMPT 0x00002000
#define OFN_SHAREAWARE 0x00004000
#define OFN_NOREADONLYRETURN 0x00008000
#define OFN_NOTESTFILECREATE 0x00010000
#define OFN_NONETWORKBUTTON 0x00020000
#define OFN_NOLONGNAMES 0x00040000
#define OFN_EXPLORER 0x00080000
#define OFN_NODEREFERENCELINKS 0x00100000
#define OFN_LONGNAMES 0x00200000
#define OFN_ENABLEINCLUDENOTIFY 0x00400000
#define OFN_ENABLESIZING 0x00800000
#define OFN_DONTADDTORECENT 0x02000000
#define OFN_FORCESHOWHIDDEN 0x10000000

using LPOFNHOOKPROC = UINT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
using LPCCHOOKPROC = UINT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

struct OPENFILENAMEA {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCSTR lpstrFilter;
  LPSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  LPSTR lpstrFile;
  DWORD nMaxFile;
  LPSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCSTR lpstrInitialDir;
  LPCSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCSTR lpstrDefExt;
  LPARAM lCustData;
  LPOFNHOOKPROC lpfnHook;
  LPCSTR lpTemplateName;
  void* pvReserved;
  DWORD dwReserved;
  DWORD FlagsEx;
};
using OPENFILENAME = OPENFILENAMEA;
using LPOPENFILENAME = OPENFILENAMEA*;
using LPOPENFILENAMEA = OPENFILENAMEA*;

// Filled on OK: lpstrFile holds the full path; with OFN_ALLOWMULTISELECT and several files, the folder and then
// each name, every one ended by a zero byte and the whole by a second zero byte. A buffer too small gives FALSE,
// CommDlgExtendedError() == FNERR_BUFFERTOOSMALL and the size needed in its first two bytes.
KXAPI BOOL GetOpenFileName(LPOPENFILENAME ofn);
inline BOOL GetOpenFileNameA(LPOPENFILENAME ofn) { return GetOpenFileName(ofn); }
KXAPI BOOL GetSaveFileName(LPOPENFILENAME ofn);
inline BOOL GetSaveFileNameA(LPOPENFILENAME ofn) { return GetSaveFileName(ofn); }
KXAPI short GetFileTitle(LPCSTR file, LPSTR title, WORD size);

namespace kx {
// The whole result of the calling thread's last file dialog that ended with a choice, also when the caller's
// buffer was too small for it (FNERR_BUFFERTOOSMALL): the text as lpstrFile would hold it and its offsets. The
// framework's file dialog takes it from here so that no number of chosen files is too many.
KXAPI bool LastFileDialogResult(std::string* result, WORD* fileOffset, WORD* fileExtension);
}  // namespace kx

#define CC_RGBINIT 0x00000001
#define CC_FULLOPEN 0x00000002
#define CC_PREVENTFULLOPEN 0x00000004
#define CC_SHOWHELP 0x00000008
#define CC_ENABLEHOOK 0x00000010
#define CC_ENABLETEMPLATE 0x00000020
#define CC_ENABLETEMPLATEHANDLE 0x00000040
#define CC_SOLIDCOLOR 0x00000080
#define CC_ANYCOLOR 0x00000100

struct CHOOSECOLORA {
  DWORD lStructSize;
  HWND hwndOwner;
  HWND hInstance;
  COLORREF rgbResult;
  COLORREF* lpCustColors;
  DWORD Flags;
  LPARAM lCustData;
  LPCCHOOKPROC lpfnHook;
  LPCSTR lpTemplateName;
};
using CHOOSECOLOR = CHOOSECOLORA;
using LPCHOOSECOLOR = CHOOSECOLORA*;

// lpCustColors (16 colours) must be given; on OK rgbResult holds the colour and the custom colours any added.
KXAPI BOOL ChooseColor(LPCHOOSECOLOR cc);
inline BOOL ChooseColorA(LPCHOOSECOLOR cc) { return ChooseColor(cc); }

// Errors of the last common dialog of the thread (0 after a cancel).
#define CDERR_DIALOGFAILURE 0xFFFF
#define CDERR_GENERALCODES 0x0000
#define CDERR_STRUCTSIZE 0x0001
#define CDERR_INITIALIZATION 0x0002
#define CDERR_NOTEMPLATE 0x0003
#define CDERR_NOHINSTANCE 0x0004
#define CDERR_LOADSTRFAILURE 0x0005
#define CDERR_FINDRESFAILURE 0x0006
#define CDERR_LOADRESFAILURE 0x0007
#define CDERR_LOCKRESFAILURE 0x0008
#define CDERR_MEMALLOCFAILURE 0x0009
#define CDERR_MEMLOCKFAILURE 0x000A
#define CDERR_NOHOOK 0x000B
#define FNERR_FILENAMECODES 0x3000
#define FNERR_SUBCLASSFAILURE 0x3001
#define FNERR_INVALIDFILENAME 0x3002
#define FNERR_BUFFERTOOSMALL 0x3003
#define CCERR_CHOOSECOLORCODES 0x5000
KXAPI DWORD CommDlgExtendedError();

// Control ids of the dialogs (the platform's own numbers).
#define KX_FD_LOOKIN 0x0471      // read-only edit: the folder shown
#define KX_FD_UP 0x0472          // button: to the parent folder
#define KX_FD_LIST 0x0460        // list view: folders and files
#define KX_FD_NAMELABEL 0x0442
#define KX_FD_NAME 0x0480        // edit: file name(s) or a folder to go to
#define KX_FD_TYPELABEL 0x0441
#define KX_FD_TYPE 0x0470        // combo box: the filters
#define KX_FD_READONLY 0x0410    // check box, without OFN_HIDEREADONLY
#define KX_CC_BASIC 720          // grid of the basic colours
#define KX_CC_CUSTOM 721         // grid of the custom colours
#define KX_CC_DEFINE 719         // button: "Define Custom Colours >>"
#define KX_CC_RED 706
#define KX_CC_GREEN 707
#define KX_CC_BLUE 708
#define KX_CC_CURRENT 709        // the colour chosen so far
#define KX_CC_ADD 712            // button: "Add to Custom Colours"

// The class names of the dialogs' windows, for finding them.
#define KX_FILEDIALOG_PROP "KxFileDialog"
#define KX_COLORDIALOG_PROP "KxColorDialog"
#define KX_FOLDERDIALOG_PROP "KxFolderDialog"
