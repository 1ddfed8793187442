// Folder browsing: SHBrowseForFolder shows a tree of the file system's folders (under the desktop item, which has
// no file-system path of its own) with its callback messages, and returns an item list that SHGetPathFromIDList
// turns into a path. Item lists come from the shell allocator (SHGetMalloc, the COM task allocator).
#pragma once

#include "platform/com/combase.h"
#include "platform/ui/ui.h"

#pragma pack(push, 1)
struct SHITEMID {
  USHORT cb;
  BYTE abID[1];
};
struct ITEMIDLIST {
  SHITEMID mkid;
};
#pragma pack(pop)
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;
using PIDLIST_ABSOLUTE = ITEMIDLIST*;
using PCIDLIST_ABSOLUTE = const ITEMIDLIST*;

using BFFCALLBACK = int (*)(HWND hwnd, UINT msg, LPARAM lParam, LPARAM data);

struct BROWSEINFOA {
  HWND hwndOwner;
  LPCITEMIDLIST pidlRoot;
  LPSTR pszDisplayName;
  LPCSTR lpszTitle;
  UINT ulFlags;
  BFFCALLBACK lpfn;
  LPARAM lParam;
  int iImage;
};
using BROWSEINFO = BROWSEINFOA;
using LPBROWSEINFO = BROWSEINFOA*;
using PBROWSEINFO = BROWSEINFOA*;

#define BIF_RETURNONLYFSDIRS 0x00000001
#define BIF_DONTGOBELOWDOMAIN 0x00000002
#define BIF_STATUSTEXT 0x00000004
#define BIF_RETURNFSANCESTORS 0x00000008
#define BIF_EDITBOX 0x00000010
#define BIF_VALIDATE 0x00000020
#define BIF_NEWDIALOGSTYLE 0x00000040
#define BIF_USENEWUI (BIF_NEWDIALOGSTYLE | BIF_EDITBOX)
#define BIF_BROWSEINCLUDEURLS 0x00000080
#define BIF_BROWSEFORCOMPUTER 0x00001000
#define BIF_BROWSEFORPRINTER 0x00002000
#define BIF_BROWSEINCLUDEFILES 0x00004000

// Callback messages.
#define BFFM_INITIALIZED 1
#define BFFM_SELCHANGED 2
#define BFFM_VALIDATEFAILEDA 3
#define BFFM_VALIDATEFAILED BFFM_VALIDATEFAILEDA
// Messages to the dialog.
#define BFFM_SETSTATUSTEXTA (WM_USER + 100)
#define BFFM_SETSTATUSTEXT BFFM_SETSTATUSTEXTA
#define BFFM_ENABLEOK (WM_USER + 101)
#define BFFM_SETSELECTIONA (WM_USER + 102)
#define BFFM_SETSELECTION BFFM_SETSELECTIONA
#define BFFM_SETSELECTIONW (WM_USER + 103)
#define BFFM_SETOKTEXT (WM_USER + 105)
#define BFFM_SETEXPANDED (WM_USER + 106)

// Control ids of the folder dialog.
#define KX_BF_TITLE 0x3742
#define KX_BF_TREE 0x3741
#define KX_BF_STATUS 0x3743
#define KX_BF_EDIT 0x3744

// A shown folder dialog returns the item list of the chosen folder (free it with the shell allocator), or null.
KXAPI LPITEMIDLIST SHBrowseForFolder(LPBROWSEINFO bi);
inline LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFO bi) { return SHBrowseForFolder(bi); }
// FALSE for an item without a file-system path (the desktop item) and for a null list.
KXAPI BOOL SHGetPathFromIDList(LPCITEMIDLIST pidl, LPSTR path);
inline BOOL SHGetPathFromIDListA(LPCITEMIDLIST pidl, LPSTR path) { return SHGetPathFromIDList(pidl, path); }
KXAPI HRESULT SHGetMalloc(IMalloc** malloc);
KXAPI void ILFree(LPITEMIDLIST pidl);
KXAPI UINT ILGetSize(LPCITEMIDLIST pidl);
KXAPI LPITEMIDLIST ILClone(LPCITEMIDLIST pidl);
// The item list of a path (folder or file that exists), for the caller to free; nullptr when there is none.
KXAPI LPITEMIDLIST ILCreateFromPath(LPCSTR path);
inline LPITEMIDLIST ILCreateFromPathA(LPCSTR path) { return ILCreateFromPath(path); }

#define STRRET_WSTR 0x0000
#define STRRET_OFFSET 0x0001
#define STRRET_CSTR 0x0002
struct STRRET {
  UINT uType;
  union {
    LPWSTR pOleStr;
    UINT uOffset;
    char cStr[260];
  };
};
using LPSTRRET = STRRET*;

#define SHGDN_NORMAL 0x0000
#define SHGDN_INFOLDER 0x0001
#define SHGDN_FORPARSING 0x8000

// The desktop folder: parses a path into an item list and names items.
struct IShellFolder : IUnknown {
  STDMETHOD(ParseDisplayName)(HWND hwnd, IBindCtx* pbc, LPWSTR displayName, ULONG* eaten, LPITEMIDLIST* pidl,
                              ULONG* attributes) = 0;
  STDMETHOD(EnumObjects)(HWND hwnd, DWORD flags, void** enumList) = 0;
  STDMETHOD(BindToObject)(LPCITEMIDLIST pidl, IBindCtx* pbc, REFIID riid, void** out) = 0;
  STDMETHOD(BindToStorage)(LPCITEMIDLIST pidl, IBindCtx* pbc, REFIID riid, void** out) = 0;
  STDMETHOD(CompareIDs)(LPARAM lParam, LPCITEMIDLIST a, LPCITEMIDLIST b) = 0;
  STDMETHOD(CreateViewObject)(HWND owner, REFIID riid, void** out) = 0;
  STDMETHOD(GetAttributesOf)(UINT count, LPCITEMIDLIST* pidls, ULONG* inOut) = 0;
  STDMETHOD(GetUIObjectOf)(HWND owner, UINT count, LPCITEMIDLIST* pidls, REFIID riid, UINT* reserved, void** out) = 0;
  STDMETHOD(GetDisplayNameOf)(LPCITEMIDLIST pidl, DWORD flags, STRRET* name) = 0;
  STDMETHOD(SetNameOf)(HWND hwnd, LPCITEMIDLIST pidl, LPCWSTR name, DWORD flags, LPITEMIDLIST* out) = 0;
};
using LPSHELLFOLDER = IShellFolder*;
KX_DEFINE_IID(IShellFolder, "000214E6-0000-0000-C000-000000000046");

#define SFGAO_FOLDER 0x20000000
#define SFGAO_FILESYSTEM 0x40000000
#define SFGAO_HASSUBFOLDER 0x80000000

KXAPI HRESULT SHGetDesktopFolder(IShellFolder** folder);
