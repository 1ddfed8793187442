// OLE Automation values: VARIANT, SAFEARRAY, IDispatch, error information, date conversions.
#pragma once

#include "platform/com/bstr.h"
#include "platform/com/unknwn.h"

using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using DISPID = LONG;
using MEMBERID = DISPID;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_SAFEARRAY = 27,
  VT_CARRAY = 28,
  VT_USERDEFINED = 29,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_RECORD = 36,
  VT_VECTOR = 0x1000,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_RESERVED = 0x8000,
  VT_ILLEGAL = 0xffff,
  VT_ILLEGALMASKED = 0xfff,
  VT_TYPEMASK = 0xfff,
};

union CY {
  struct {
    ULONG Lo;
    LONG Hi;
  };
  LONGLONG int64;
};

struct IDispatch;
struct tagVARIANT;
using VARIANT = tagVARIANT;
using VARIANTARG = tagVARIANT;
using LPVARIANT = VARIANT*;
using LPVARIANTARG = VARIANT*;
using LPCVARIANT = const VARIANT*;

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};
using LPSAFEARRAYBOUND = SAFEARRAYBOUND*;

// The descriptor is followed by cDims - 1 further bounds. rgsabound holds the dimensions from the last to
// the first: dimension 1 (the first given to SafeArrayCreate) is rgsabound[cDims - 1].
struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  PVOID pvData;
  SAFEARRAYBOUND rgsabound[1];
};
using LPSAFEARRAY = SAFEARRAY*;

constexpr USHORT FADF_AUTO = 0x1;
constexpr USHORT FADF_STATIC = 0x2;
constexpr USHORT FADF_EMBEDDED = 0x4;
constexpr USHORT FADF_FIXEDSIZE = 0x10;
constexpr USHORT FADF_RECORD = 0x20;
constexpr USHORT FADF_HAVEIID = 0x40;
constexpr USHORT FADF_HAVEVARTYPE = 0x80;
constexpr USHORT FADF_BSTR = 0x100;
constexpr USHORT FADF_UNKNOWN = 0x200;
constexpr USHORT FADF_DISPATCH = 0x400;
constexpr USHORT FADF_VARIANT = 0x800;

struct tagVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    CY cyVal;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
    BYTE* pbVal;
    SHORT* piVal;
    LONG* plVal;
    LONGLONG* pllVal;
    FLOAT* pfltVal;
    DOUBLE* pdblVal;
    VARIANT_BOOL* pboolVal;
    SCODE* pscode;
    CY* pcyVal;
    DATE* pdate;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    SAFEARRAY** pparray;
    VARIANT* pvarVal;
    PVOID byref;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
    CHAR* pcVal;
    USHORT* puiVal;
    ULONG* pulVal;
    ULONGLONG* pullVal;
    INT* pintVal;
    UINT* puintVal;
  };
};

// Accessors of the platform's headers.
#define V_VT(v) ((v)->vt)
#define V_ISBYREF(v) (V_VT(v) & VT_BYREF)
#define V_ISARRAY(v) (V_VT(v) & VT_ARRAY)
#define V_UI1(v) ((v)->bVal)
#define V_I2(v) ((v)->iVal)
#define V_I4(v) ((v)->lVal)
#define V_R8(v) ((v)->dblVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_DATE(v) ((v)->date)
#define V_BSTR(v) ((v)->bstrVal)
#define V_UNKNOWN(v) ((v)->punkVal)
#define V_DISPATCH(v) ((v)->pdispVal)
#define V_ARRAY(v) ((v)->parray)
#define V_ERROR(v) ((v)->scode)
#define V_VARIANTREF(v) ((v)->pvarVal)
#define V_BYREF(v) ((v)->byref)

// IDispatch.
struct DISPPARAMS {
  VARIANTARG* rgvarg;           // arguments from the last to the first
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  PVOID pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr DISPID DISPID_NEWENUM = -4;
constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

// Type information is not offered by the platform's objects (GetTypeInfo answers E_NOTIMPL).
struct ITypeInfo : IUnknown {};

struct IDispatch : IUnknown {
  STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) = 0;
  STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) = 0;
  STDMETHOD(Invoke)(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                    VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
};
using LPDISPATCH = IDispatch*;

// Error information of the calling thread.
struct IErrorInfo : IUnknown {
  STDMETHOD(GetGUID)(GUID* pGUID) = 0;
  STDMETHOD(GetSource)(BSTR* pBstrSource) = 0;
  STDMETHOD(GetDescription)(BSTR* pBstrDescription) = 0;
  STDMETHOD(GetHelpFile)(BSTR* pBstrHelpFile) = 0;
  STDMETHOD(GetHelpContext)(DWORD* pdwHelpContext) = 0;
};

struct ICreateErrorInfo : IUnknown {
  STDMETHOD(SetGUID)(REFGUID rguid) = 0;
  STDMETHOD(SetSource)(LPOLESTR szSource) = 0;
  STDMETHOD(SetDescription)(LPOLESTR szDescription) = 0;
  STDMETHOD(SetHelpFile)(LPOLESTR szHelpFile) = 0;
  STDMETHOD(SetHelpContext)(DWORD dwHelpContext) = 0;
};

struct ISupportErrorInfo : IUnknown {
  STDMETHOD(InterfaceSupportsErrorInfo)(REFIID riid) = 0;
};

KX_DEFINE_IID(IDispatch, "00020400-0000-0000-C000-000000000046");
KX_DEFINE_IID(ITypeInfo, "00020401-0000-0000-C000-000000000046");
KX_DEFINE_IID(IErrorInfo, "1CF2B120-547D-101B-8E65-08002B2BD119");
KX_DEFINE_IID(ICreateErrorInfo, "22F03340-547D-101B-8E65-08002B2BD119");
KX_DEFINE_IID(ISupportErrorInfo, "DF0B3D60-548F-101B-8E65-08002B2BD119");

// VariantChangeType flags.
constexpr USHORT VARIANT_NOVALUEPROP = 0x1;
constexpr USHORT VARIANT_ALPHABOOL = 0x2;
constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x4;
constexpr USHORT VARIANT_LOCALBOOL = 0x10;
// Date text flags.
constexpr DWORD VAR_TIMEVALUEONLY = 0x1;
constexpr DWORD VAR_DATEVALUEONLY = 0x2;

extern "C" {
// VARIANT.
KXAPI void VariantInit(VARIANTARG* pvarg);
// Frees what the variant owns (string, array, interface reference) and leaves it VT_EMPTY.
KXAPI HRESULT VariantClear(VARIANTARG* pvarg);
// A deep copy: strings and arrays are duplicated, interfaces gain a reference.
KXAPI HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
// As VariantCopy, following a VT_BYREF source to the value it refers to.
KXAPI HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
// Converts (in place when both are the same variant). On failure the destination is left unchanged.
// Results: DISP_E_TYPEMISMATCH (no conversion between the types), DISP_E_OVERFLOW (value out of range),
// DISP_E_BADVARTYPE (a type the platform does not know), E_NOINTERFACE (an object without the interface).
KXAPI HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt);
KXAPI HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags,
                                  VARTYPE vt);

// SAFEARRAY.
KXAPI SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
KXAPI SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
KXAPI HRESULT SafeArrayDestroy(SAFEARRAY* psa);
KXAPI HRESULT SafeArrayLock(SAFEARRAY* psa);
KXAPI HRESULT SafeArrayUnlock(SAFEARRAY* psa);
KXAPI HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
KXAPI HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
KXAPI UINT SafeArrayGetDim(SAFEARRAY* psa);
KXAPI UINT SafeArrayGetElemsize(SAFEARRAY* psa);
KXAPI HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
KXAPI HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
KXAPI HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
// rgIndices[0] is the index in dimension 1.
KXAPI HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData);
KXAPI HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
KXAPI HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
KXAPI HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
// Changes the bounds of the last dimension (the only one for a vector).
KXAPI HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew);

// OLE Automation dates: whole days since 30 December 1899; the fraction is the time of day, counted
// forward from midnight also for negative dates (-1.25 is 29 December 1899, 06:00). Years 100 to 9999.
// SystemTimeToVariantTime ignores the day of week and the milliseconds and refuses fields out of range;
// VariantTimeToSystemTime rounds to the nearest second and sets the day of week.
KXAPI INT SystemTimeToVariantTime(const SYSTEMTIME* lpSystemTime, DOUBLE* pvtime);
KXAPI INT VariantTimeToSystemTime(DOUBLE vtime, SYSTEMTIME* lpSystemTime);
// Date text in the en-US form: "M/D/YYYY h:mm:ss AM"; the date alone when the time is midnight, the time
// alone when the date is 30 December 1899.
KXAPI HRESULT VarBstrFromDate(DATE dateIn, LCID lcid, ULONG dwFlags, BSTR* pbstrOut);
// Parses the forms VarBstrFromDate writes and the usual variants (ISO "YYYY-MM-DD", month names, 24-hour
// times). DISP_E_TYPEMISMATCH when the text is not a date.
KXAPI HRESULT VarDateFromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, DATE* pdateOut);

// Error information of the calling thread: SetErrorInfo replaces it, GetErrorInfo hands it over (S_FALSE
// and null when there is none).
KXAPI HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
KXAPI HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
KXAPI HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);
}

namespace kx {
// The OLE date scale does not run linearly below zero (the fraction of -1.25 counts forward from day -1), so
// arithmetic and comparison go through a linear day number: d for d >= 0, else c - (d - c) with c = ceil(d)
// (-1.25 becomes -0.75); OleDateFromLinear is the inverse.
KXAPI double OleDateToLinear(DATE d);
KXAPI DATE OleDateFromLinear(double x);
// Same type and value: strings by their bytes, numbers by value, objects and arrays by pointer.
KXAPI bool VariantsEqual(const VARIANT& a, const VARIANT& b);
// Sets the thread's error information to a description (and source) in one call, as a failing engine
// method does before it returns its result code.
KXAPI void SetErrorDescription(const char16_t* description, const char16_t* source = nullptr);
}  // namespace kx
