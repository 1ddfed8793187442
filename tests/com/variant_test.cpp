#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "platform/com/com.h"
#include "platform/com/comobject.h"

namespace {

VARIANT I4(LONG v) { VARIANT x; VariantInit(&x); x.vt = VT_I4; x.lVal = v; return x; }
VARIANT I2(SHORT v) { VARIANT x; VariantInit(&x); x.vt = VT_I2; x.iVal = v; return x; }
VARIANT UI1(BYTE v) { VARIANT x; VariantInit(&x); x.vt = VT_UI1; x.bVal = v; return x; }
VARIANT R8(double v) { VARIANT x; VariantInit(&x); x.vt = VT_R8; x.dblVal = v; return x; }
VARIANT Date(double v) { VARIANT x; VariantInit(&x); x.vt = VT_DATE; x.date = v; return x; }
VARIANT Bool(bool v) { VARIANT x; VariantInit(&x); x.vt = VT_BOOL; x.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE; return x; }
VARIANT Str(const char16_t* s) { VARIANT x; VariantInit(&x); x.vt = VT_BSTR; x.bstrVal = SysAllocString(s); return x; }
VARIANT Empty() { VARIANT x; VariantInit(&x); return x; }
VARIANT Null() { VARIANT x; VariantInit(&x); x.vt = VT_NULL; return x; }
VARIANT Error(SCODE c) { VARIANT x; VariantInit(&x); x.vt = VT_ERROR; x.scode = c; return x; }

std::u16string Bstr(const VARIANT& v) { return v.bstrVal ? std::u16string(v.bstrVal, SysStringLen(v.bstrVal)) : u""; }

// Converts and answers the result as text for comparison ("I4:12", "BSTR:abc", or the failure code).
std::string Change(VARIANT src, VARTYPE to, USHORT flags = 0) {
  VARIANT dst;
  VariantInit(&dst);
  HRESULT hr = VariantChangeType(&dst, &src, flags, to);
  VariantClear(&src);
  char buf[96];
  if (FAILED(hr)) {
    std::snprintf(buf, sizeof buf, "hr:%08X", static_cast<unsigned>(hr));
    return buf;
  }
  EXPECT_EQ(dst.vt, to);
  switch (dst.vt) {
    case VT_EMPTY: return "EMPTY";
    case VT_NULL: return "NULL";
    case VT_I2: std::snprintf(buf, sizeof buf, "I2:%d", dst.iVal); break;
    case VT_I4: std::snprintf(buf, sizeof buf, "I4:%d", dst.lVal); break;
    case VT_UI1: std::snprintf(buf, sizeof buf, "UI1:%u", dst.bVal); break;
    case VT_UI4: std::snprintf(buf, sizeof buf, "UI4:%u", dst.ulVal); break;
    case VT_R8: std::snprintf(buf, sizeof buf, "R8:%.10g", dst.dblVal); break;
    case VT_DATE: std::snprintf(buf, sizeof buf, "DATE:%.10g", dst.date); break;
    case VT_BOOL: std::snprintf(buf, sizeof buf, "BOOL:%d", dst.boolVal); break;
    case VT_BSTR: {
      std::u16string w = Bstr(dst);
      VariantClear(&dst);
      return "BSTR:" + std::string(w.begin(), w.end());
    }
    default: std::snprintf(buf, sizeof buf, "vt:%u", dst.vt); break;
  }
  VariantClear(&dst);
  return buf;
}

constexpr const char* kMismatch = "hr:80020005";
constexpr const char* kOverflow = "hr:8002000A";

TEST(Variant, ChangeTypeTable) {
  struct Case {
    VARIANT src;
    VARTYPE to;
    USHORT flags;
    std::string want;
  } cases[] = {
      // numbers
      {I4(70000), VT_I2, 0, kOverflow},
      {I4(-5), VT_UI1, 0, kOverflow},
      {I4(255), VT_UI1, 0, "UI1:255"},
      {I2(-2), VT_I4, 0, "I4:-2"},
      {R8(2.5), VT_I4, 0, "I4:2"},   // half to even
      {R8(3.5), VT_I4, 0, "I4:4"},
      {R8(-2.5), VT_I2, 0, "I2:-2"},
      {R8(2.51), VT_I4, 0, "I4:3"},
      {R8(1e10), VT_I4, 0, kOverflow},
      {UI1(7), VT_R8, 0, "R8:7"},
      // booleans
      {Bool(true), VT_I4, 0, "I4:-1"},
      {Bool(true), VT_UI1, 0, "UI1:255"},
      {I4(0), VT_BOOL, 0, "BOOL:0"},
      {R8(0.1), VT_BOOL, 0, "BOOL:-1"},
      {Bool(true), VT_BSTR, 0, "BSTR:-1"},
      {Bool(false), VT_BSTR, VARIANT_ALPHABOOL, "BSTR:False"},
      {Str(u"True"), VT_BOOL, 0, "BOOL:-1"},
      {Str(u" false "), VT_BOOL, 0, "BOOL:0"},
      {Str(u"2"), VT_BOOL, 0, "BOOL:-1"},
      {Str(u"maybe"), VT_BOOL, 0, kMismatch},
      // strings
      {Str(u" 42 "), VT_I4, 0, "I4:42"},
      {Str(u"-1,234"), VT_I4, 0, "I4:-1234"},
      {Str(u"2.5"), VT_I2, 0, "I2:2"},
      {Str(u"1e3"), VT_I4, 0, "I4:1000"},
      {Str(u"99999999999"), VT_I4, 0, kOverflow},
      {Str(u"12abc"), VT_I4, 0, kMismatch},
      {Str(u""), VT_I4, 0, kMismatch},
      {I4(-17), VT_BSTR, 0, "BSTR:-17"},
      {R8(0.1), VT_BSTR, 0, "BSTR:0.1"},
      {R8(1.5e20), VT_BSTR, 0, "BSTR:1.5E+20"},
      // dates
      {Str(u"7/4/2024"), VT_DATE, 0, "DATE:45477"},
      {Str(u"not a date"), VT_DATE, 0, kMismatch},
      {Date(45477.25), VT_BSTR, 0, "BSTR:7/4/2024 6:00:00 AM"},
      {Date(-1.25), VT_R8, 0, "R8:-1.25"},
      {R8(3e6), VT_DATE, 0, kOverflow},
      {I4(2), VT_DATE, 0, "DATE:2"},
      // empty, null, error
      {Empty(), VT_I4, 0, "I4:0"},
      {Empty(), VT_BSTR, 0, "BSTR:"},
      {Empty(), VT_BOOL, 0, "BOOL:0"},
      {Null(), VT_I4, 0, kMismatch},
      {Null(), VT_BSTR, 0, kMismatch},
      {Null(), VT_NULL, 0, "NULL"},
      {I4(5), VT_EMPTY, 0, "EMPTY"},
      {Error(E_FAIL), VT_I4, 0, kMismatch},
      {I4(5), VT_ERROR, 0, kMismatch},
      // types the platform does not know
      {I4(5), VT_VARIANT, 0, "hr:80020008"},
      {I4(5), static_cast<VARTYPE>(99), 0, "hr:80020008"},
  };
  for (Case& c : cases) {
    std::string got = Change(c.src, c.to, c.flags);
    EXPECT_EQ(got, c.want) << "to type " << c.to;
  }
}

TEST(Variant, FailedChangeLeavesDestination) {
  VARIANT src = Str(u"abc");
  VARIANT dst = I4(9);
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(dst.vt, VT_I4);
  EXPECT_EQ(dst.lVal, 9);
  // In place.
  EXPECT_EQ(VariantChangeType(&src, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Bstr(src), u"abc");
  VARIANT n = Str(u"12");
  ASSERT_EQ(VariantChangeType(&n, &n, 0, VT_I4), S_OK);
  EXPECT_EQ(n.vt, VT_I4);
  EXPECT_EQ(n.lVal, 12);
  VariantClear(&src);
}

TEST(Variant, ByReferenceSourcesAreFollowed) {
  LONG value = 77;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &value;
  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Bstr(out), u"77");
  VariantClear(&out);

  VARIANT inner = Str(u"inner");
  VARIANT vref;
  VariantInit(&vref);
  vref.vt = VT_VARIANT | VT_BYREF;
  vref.pvarVal = &inner;
  ASSERT_EQ(VariantCopyInd(&out, &vref), S_OK);
  EXPECT_EQ(out.vt, VT_BSTR);
  EXPECT_EQ(Bstr(out), u"inner");
  EXPECT_NE(out.bstrVal, inner.bstrVal);  // a copy
  VariantClear(&out);
  // Clearing a reference does not free what it refers to.
  EXPECT_EQ(VariantClear(&vref), S_OK);
  EXPECT_EQ(Bstr(inner), u"inner");
  VariantClear(&inner);
}

TEST(Variant, CopyKeepsBinaryStrings) {
  const char bytes[] = {'\x01', '\0', '\xff', '\0', '\x7f'};
  VARIANT a;
  VariantInit(&a);
  a.vt = VT_BSTR;
  a.bstrVal = SysAllocStringByteLen(bytes, 5);  // odd length, zero bytes inside
  VARIANT b;
  VariantInit(&b);
  ASSERT_EQ(VariantCopy(&b, &a), S_OK);
  ASSERT_EQ(SysStringByteLen(b.bstrVal), 5u);
  EXPECT_EQ(std::memcmp(b.bstrVal, bytes, 5), 0);
  VariantClear(&a);
  VariantClear(&b);
  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 0x0FFF;
  EXPECT_EQ(VariantCopy(&b, &bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
}

// An object with a default value ("the answer") for conversions through DISPID_VALUE.
class Answer : public kx::ComObject<Answer, IDispatch> {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    result->vt = VT_I4;
    result->lVal = 42;
    return S_OK;
  }
};

TEST(Variant, ObjectsConvertThroughInterfacesAndDefaultValue) {
  Answer* obj = new Answer;
  VARIANT d;
  VariantInit(&d);
  d.vt = VT_DISPATCH;
  d.pdispVal = obj;  // the variant holds our reference
  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(VariantChangeType(&out, &d, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Bstr(out), u"42");
  VariantClear(&out);
  EXPECT_EQ(VariantChangeType(&out, &d, VARIANT_NOVALUEPROP, VT_BSTR), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(VariantChangeType(&out, &d, 0, VT_UNKNOWN), S_OK);
  EXPECT_EQ(out.vt, VT_UNKNOWN);
  ASSERT_EQ(VariantChangeType(&out, &out, 0, VT_DISPATCH), S_OK);  // back, in place
  EXPECT_EQ(out.pdispVal, static_cast<IDispatch*>(obj));
  VariantClear(&out);

  // An object without IDispatch cannot become one.
  class Plain : public kx::ComObject<Plain, IErrorInfo> {
   public:
    STDMETHODIMP GetGUID(GUID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetSource(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetDescription(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetHelpFile(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetHelpContext(DWORD*) override { return E_NOTIMPL; }
  };
  VARIANT u;
  VariantInit(&u);
  u.vt = VT_UNKNOWN;
  u.punkVal = static_cast<IErrorInfo*>(new Plain);
  EXPECT_EQ(VariantChangeType(&out, &u, 0, VT_DISPATCH), E_NOINTERFACE);
  EXPECT_EQ(VariantChangeType(&out, &u, 0, VT_I4), DISP_E_TYPEMISMATCH);
  VariantClear(&u);
  VariantClear(&d);  // releases the last reference
}

}  // namespace
