// IUnknown and IClassFactory. Interfaces are classes of pure virtual functions without a virtual destructor,
// so that their table slots count from 0 with QueryInterface, AddRef and Release, as callers by slot expect.
#pragma once

#include "platform/com/guid.h"

#ifndef STDMETHOD
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define PURE = 0
#endif

using SCODE = LONG;

struct IUnknown {
  STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) = 0;
  STDMETHOD_(ULONG, AddRef)() = 0;
  STDMETHOD_(ULONG, Release)() = 0;
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : IUnknown {
  STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
  STDMETHOD(LockServer)(BOOL fLock) = 0;
};
using LPCLASSFACTORY = IClassFactory*;

KX_DEFINE_IID(IUnknown, "00000000-0000-0000-C000-000000000046");
KX_DEFINE_IID(IClassFactory, "00000001-0000-0000-C000-000000000046");

// Result codes of the object model beyond the common ones of types.h.
constexpr HRESULT CO_E_CLASSSTRING = KX_HR(0x800401F3);
constexpr HRESULT CO_E_DLLNOTFOUND = KX_HR(0x800401F8);
constexpr HRESULT CO_E_ERRORINDLL = KX_HR(0x800401F9);
constexpr HRESULT CO_E_APPNOTFOUND = KX_HR(0x800401F5);
constexpr HRESULT RPC_E_CHANGED_MODE = KX_HR(0x80010106);
constexpr HRESULT REGDB_E_READREGDB = KX_HR(0x80040150);
constexpr HRESULT REGDB_E_KEYMISSING = KX_HR(0x80040152);
constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = KX_HR(0x8002802B);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = KX_HR(0x80020001);
constexpr HRESULT DISP_E_NONAMEDARGS = KX_HR(0x80020007);
constexpr HRESULT DISP_E_EXCEPTION = KX_HR(0x80020009);
constexpr HRESULT DISP_E_ARRAYISLOCKED = KX_HR(0x8002000D);
constexpr HRESULT DISP_E_BADPARAMCOUNT = KX_HR(0x8002000E);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = KX_HR(0x8002000F);
constexpr HRESULT DISP_E_DIVBYZERO = KX_HR(0x80020012);
constexpr HRESULT OLE_E_NOTRUNNING = KX_HR(0x80040005);
constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = KX_HR(0x80080005);
