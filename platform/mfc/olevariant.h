// COleVariant: the framework's owning VARIANT. Failed conversions raise COleException.
#pragma once

#include "platform/com/oleauto.h"
#include "platform/mfc/cstring.h"
#include "platform/mfc/datetime.h"

class CByteArray;

class KXAPI COleVariant : public tagVARIANT {
 public:
  COleVariant() { VariantInit(this); }
  COleVariant(const VARIANT& v);        // NOLINT
  COleVariant(const VARIANT* v);        // NOLINT
  COleVariant(const COleVariant& v);
  COleVariant(COleVariant&& v) noexcept;
  COleVariant(LPCTSTR s);               // NOLINT: a BSTR (UTF-16) of the text
  COleVariant(const CString& s);        // NOLINT
  COleVariant(BYTE b) { VariantInit(this); vt = VT_UI1; bVal = b; }                  // NOLINT
  COleVariant(SHORT s, VARTYPE vtSrc = VT_I2);   // NOLINT: VT_I2 or VT_BOOL
  COleVariant(LONG l, VARTYPE vtSrc = VT_I4);    // NOLINT: VT_I4, VT_ERROR or VT_BOOL
  COleVariant(float f) { VariantInit(this); vt = VT_R4; fltVal = f; }                // NOLINT
  COleVariant(double d, VARTYPE vtSrc = VT_R8);  // NOLINT: VT_R8 or VT_DATE
  COleVariant(const COleDateTime& d);            // NOLINT: VT_DATE
  COleVariant(const CByteArray& bytes);          // NOLINT: VT_ARRAY | VT_UI1
  COleVariant(LONGLONG l) { VariantInit(this); vt = VT_I8; llVal = l; }             // NOLINT
  COleVariant(ULONGLONG u) { VariantInit(this); vt = VT_UI8; ullVal = u; }          // NOLINT
  ~COleVariant() { VariantClear(this); }

  COleVariant& operator=(const VARIANT& v);
  COleVariant& operator=(const COleVariant& v) { return operator=(static_cast<const VARIANT&>(v)); }
  COleVariant& operator=(COleVariant&& v) noexcept;
  COleVariant& operator=(LPCTSTR s) { return *this = COleVariant(s); }
  COleVariant& operator=(const CString& s) { return *this = COleVariant(s); }
  COleVariant& operator=(BYTE b) { return *this = COleVariant(b); }
  COleVariant& operator=(SHORT s) { return *this = COleVariant(s); }
  COleVariant& operator=(LONG l) { return *this = COleVariant(l); }
  COleVariant& operator=(float f) { return *this = COleVariant(f); }
  COleVariant& operator=(double d) { return *this = COleVariant(d); }
  COleVariant& operator=(const COleDateTime& d) { return *this = COleVariant(d); }
  COleVariant& operator=(const CByteArray& b) { return *this = COleVariant(b); }

  // Same type and value (strings by content, objects by pointer).
  bool operator==(const VARIANT& v) const;
  bool operator!=(const VARIANT& v) const { return !(*this == v); }

  operator LPVARIANT() { return this; }              // NOLINT
  operator LPCVARIANT() const { return this; }       // NOLINT

  void Clear() { VariantClear(this); }
  void ChangeType(VARTYPE vartype, LPVARIANT pSrc = nullptr);
  void Attach(VARIANT& v);
  VARIANT Detach();
  void SetString(LPCTSTR s, VARTYPE vtSrc = VT_BSTR);
  // The bytes of a VT_ARRAY | VT_UI1 value (a one-dimensional byte array); raises for other types.
  void GetByteArrayFromVariantArray(CByteArray& bytes);
};
