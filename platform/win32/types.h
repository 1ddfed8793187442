// Base types, handles, result codes and small macros of the platform layer.
// Widths follow the platform's data model (LONG and DWORD are 32 bits, WPARAM/LPARAM pointer sized),
// because stored files and messages depend on them.
#pragma once

#include <cstddef>
#include <cstdint>

#define KXAPI __attribute__((visibility("default")))
#define WINAPI
#define CALLBACK
#define APIENTRY
#define STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT

using BOOL = int;
using BOOLEAN = unsigned char;
using BYTE = uint8_t;
using UCHAR = uint8_t;
using CHAR = char;
using WORD = uint16_t;
using USHORT = uint16_t;
using SHORT = int16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using ULONG = uint32_t;
using INT = int32_t;
using LONG = int32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using DWORD64 = uint64_t;
using INT_PTR = intptr_t;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using ULONG_PTR = uintptr_t;
using DWORD_PTR = uintptr_t;
using SIZE_T = size_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using HRESULT = int32_t;
using ATOM = WORD;
using COLORREF = DWORD;
using LCID = DWORD;
using LANGID = WORD;
using FLOAT = float;
using DOUBLE = double;
using DATE = double;

// Wide text is UTF-16 in 16-bit units; narrow ("ANSI") text is UTF-8.
using WCHAR = char16_t;
using OLECHAR = char16_t;
using TCHAR = char;
using LPSTR = char*;
using LPCSTR = const char*;
using LPTSTR = char*;
using LPCTSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
using LPVOID = void*;
using LPCVOID = const void*;
using PVOID = void*;
using LPBYTE = BYTE*;
using PBYTE = BYTE*;
using LPDWORD = DWORD*;
using LPLONG = LONG*;
using PLONG = LONG*;
using LPBOOL = BOOL*;
using LPINT = int*;
using LPUINT = UINT*;
using LPWORD = WORD*;

#define KX_DECLARE_HANDLE(name) struct name##__; using name = name##__*
using HANDLE = void*;
KX_DECLARE_HANDLE(HWND);
KX_DECLARE_HANDLE(HINSTANCE);
using HMODULE = HINSTANCE;
KX_DECLARE_HANDLE(HKEY);
KX_DECLARE_HANDLE(HDC);
KX_DECLARE_HANDLE(HGDIOBJ__);
KX_DECLARE_HANDLE(HPEN);
KX_DECLARE_HANDLE(HBRUSH);
KX_DECLARE_HANDLE(HFONT);
KX_DECLARE_HANDLE(HBITMAP);
KX_DECLARE_HANDLE(HRGN);
KX_DECLARE_HANDLE(HPALETTE);
KX_DECLARE_HANDLE(HICON);
KX_DECLARE_HANDLE(HMENU);
KX_DECLARE_HANDLE(HHOOK);
KX_DECLARE_HANDLE(HRSRC);
KX_DECLARE_HANDLE(HIMAGELIST);
KX_DECLARE_HANDLE(HTREEITEM);
KX_DECLARE_HANDLE(HDWP);
KX_DECLARE_HANDLE(HMONITOR);
using HGDIOBJ = void*;
using HCURSOR = HICON;
using HGLOBAL = HANDLE;
using HLOCAL = HANDLE;
using PHKEY = HKEY*;
using REGSAM = DWORD;
// Entries are cast to their real type before the call; this type converts to any function pointer quietly.
using FARPROC = void (*)();

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef NULL
#define NULL nullptr
#endif
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define MAX_PATH 260
#define INFINITE 0xFFFFFFFFu

struct POINT { LONG x; LONG y; };
struct SIZE { LONG cx; LONG cy; };
struct RECT { LONG left; LONG top; LONG right; LONG bottom; };
struct POINTS { SHORT x; SHORT y; };
using LPPOINT = POINT*;
using LPSIZE = SIZE*;
using LPRECT = RECT*;
using LPCRECT = const RECT*;

struct FILETIME { DWORD dwLowDateTime; DWORD dwHighDateTime; };
struct SYSTEMTIME {
  WORD wYear; WORD wMonth; WORD wDayOfWeek; WORD wDay;
  WORD wHour; WORD wMinute; WORD wSecond; WORD wMilliseconds;
};
using LPFILETIME = FILETIME*;
using LPSYSTEMTIME = SYSTEMTIME*;

union LARGE_INTEGER {
  struct { DWORD LowPart; LONG HighPart; };
  LONGLONG QuadPart;
};
union ULARGE_INTEGER {
  struct { DWORD LowPart; DWORD HighPart; };
  ULONGLONG QuadPart;
};

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
inline bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
#define IsEqualGUID(a, b) ((a) == (b))
#define IsEqualIID(a, b) ((a) == (b))
#define IsEqualCLSID(a, b) ((a) == (b))

// Word and byte packing.
#define MAKEWORD(a, b) ((WORD)(((BYTE)((DWORD_PTR)(a) & 0xff)) | ((WORD)((BYTE)((DWORD_PTR)(b) & 0xff))) << 8))
#define MAKELONG(a, b) ((LONG)(((WORD)((DWORD_PTR)(a) & 0xffff)) | ((DWORD)((WORD)((DWORD_PTR)(b) & 0xffff))) << 16))
#define LOWORD(l) ((WORD)((DWORD_PTR)(l) & 0xffff))
#define HIWORD(l) ((WORD)(((DWORD_PTR)(l) >> 16) & 0xffff))
#define LOBYTE(w) ((BYTE)((DWORD_PTR)(w) & 0xff))
#define HIBYTE(w) ((BYTE)(((DWORD_PTR)(w) >> 8) & 0xff))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKELRESULT(l, h) ((LRESULT)(DWORD)MAKELONG(l, h))
#define GET_X_LPARAM(lp) ((int)(short)LOWORD(lp))
#define GET_Y_LPARAM(lp) ((int)(short)HIWORD(lp))
#define MAKEINTRESOURCE(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(p) ((reinterpret_cast<ULONG_PTR>(p) >> 16) == 0)

// Colours: 0x00BBGGRR.
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define PALETTERGB(r, g, b) (0x02000000 | RGB(r, g, b))
#define GetRValue(c) (LOBYTE(c))
#define GetGValue(c) (LOBYTE(((WORD)(c)) >> 8))
#define GetBValue(c) (LOBYTE((c) >> 16))
#define CLR_NONE 0xFFFFFFFFu
#define CLR_DEFAULT 0xFF000000u
#define CLR_INVALID 0xFFFFFFFFu

// Result codes.
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define KX_HR(x) (static_cast<HRESULT>(static_cast<uint32_t>(x)))
#define MAKE_HRESULT(sev, fac, code) \
  ((HRESULT)(((unsigned long)(sev) << 31) | ((unsigned long)(fac) << 16) | ((unsigned long)(code))))
#define HRESULT_FROM_WIN32(x) \
  ((HRESULT)(x) <= 0 ? ((HRESULT)(x)) : ((HRESULT)(((x) & 0x0000FFFF) | (7 << 16) | 0x80000000)))
#define HRESULT_CODE(hr) ((hr) & 0xFFFF)
#define HRESULT_FACILITY(hr) (((hr) >> 16) & 0x1fff)
#define FACILITY_WIN32 7
#define FACILITY_ITF 4
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = KX_HR(0x80004001);
constexpr HRESULT E_NOINTERFACE = KX_HR(0x80004002);
constexpr HRESULT E_POINTER = KX_HR(0x80004003);
constexpr HRESULT E_ABORT = KX_HR(0x80004004);
constexpr HRESULT E_FAIL = KX_HR(0x80004005);
constexpr HRESULT E_UNEXPECTED = KX_HR(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = KX_HR(0x80070005);
constexpr HRESULT E_HANDLE = KX_HR(0x80070006);
constexpr HRESULT E_OUTOFMEMORY = KX_HR(0x8007000E);
constexpr HRESULT E_INVALIDARG = KX_HR(0x80070057);
constexpr HRESULT REGDB_E_CLASSNOTREG = KX_HR(0x80040154);
constexpr HRESULT CLASS_E_NOAGGREGATION = KX_HR(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = KX_HR(0x80040111);
constexpr HRESULT CO_E_NOTINITIALIZED = KX_HR(0x800401F0);
constexpr HRESULT DISP_E_TYPEMISMATCH = KX_HR(0x80020005);
constexpr HRESULT DISP_E_OVERFLOW = KX_HR(0x8002000A);
constexpr HRESULT DISP_E_BADINDEX = KX_HR(0x8002000B);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = KX_HR(0x80020003);
constexpr HRESULT DISP_E_UNKNOWNNAME = KX_HR(0x80020006);
constexpr HRESULT DISP_E_BADVARTYPE = KX_HR(0x80020008);
constexpr HRESULT DISP_E_PARAMNOTFOUND = KX_HR(0x80020004);
constexpr HRESULT E_BOUNDS = KX_HR(0x8000000B);

// Win32 error codes used across the platform.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD NO_ERROR = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_WRITE_PROTECT = 19;
constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_LOCK_VIOLATION = 33;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_BAD_PATHNAME = 161;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_DLL_INIT_FAILED = 1114;
constexpr DWORD ERROR_CANCELLED = 1223;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_TIMEOUT = 1460;
constexpr DWORD ERROR_BADKEY = 1010;
constexpr DWORD ERROR_CANTOPEN = 1011;
constexpr DWORD ERROR_CANTREAD = 1012;
constexpr DWORD ERROR_CANTWRITE = 1013;
constexpr DWORD ERROR_KEY_DELETED = 1018;
constexpr DWORD ERROR_INVALID_ACCESS = 12;
constexpr DWORD ERROR_SEEK = 25;
constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
constexpr DWORD ERROR_ENVVAR_NOT_FOUND = 203;
constexpr DWORD ERROR_WAIT_NO_CHILDREN = 128;
constexpr DWORD ERROR_NOT_OWNER = 288;
constexpr DWORD ERROR_TOO_MANY_POSTS = 298;
constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
constexpr DWORD ERROR_NOACCESS = 998;
constexpr DWORD ERROR_INVALID_FLAGS = 1004;
constexpr DWORD ERROR_NO_TOKEN = 1008;
constexpr DWORD ERROR_INVALID_SID = 1337;
constexpr DWORD ERROR_INVALID_ACL = 1336;
constexpr DWORD ERROR_INVALID_SECURITY_DESCR = 1338;
constexpr DWORD ERROR_PRIVILEGE_NOT_HELD = 1314;
constexpr DWORD ERROR_FILE_INVALID = 1006;

template <typename T>
constexpr T kx_min(T a, T b) { return a < b ? a : b; }
template <typename T>
constexpr T kx_max(T a, T b) { return a < b ? b : a; }
