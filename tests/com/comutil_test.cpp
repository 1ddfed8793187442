#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "platform/com/com.h"

namespace {

TEST(BstrT, CopiesShareOneRecordUntilAppended) {
  _bstr_t a("caf\xC3\xA9");  // UTF-8 in, UTF-16 inside
  EXPECT_EQ(a.length(), 4u);
  EXPECT_EQ(std::u16string(static_cast<const OLECHAR*>(a)), u"caf\u00e9");
  _bstr_t b = a;
  EXPECT_EQ(a.RefCount(), 2u);
  EXPECT_EQ(static_cast<const OLECHAR*>(a), static_cast<const OLECHAR*>(b));
  b += _bstr_t(" au lait");
  EXPECT_EQ(a.RefCount(), 1u);  // b has a record of its own now
  EXPECT_STREQ(static_cast<const char*>(a), "caf\xC3\xA9");
  EXPECT_STREQ(static_cast<const char*>(b), "caf\xC3\xA9 au lait");
  {
    _bstr_t c(b);
    EXPECT_EQ(b.RefCount(), 2u);
  }
  EXPECT_EQ(b.RefCount(), 1u);
}

TEST(BstrT, NullAndEmpty) {
  _bstr_t none;
  EXPECT_TRUE(!none);
  EXPECT_EQ(none.length(), 0u);
  EXPECT_EQ(static_cast<const char*>(none), nullptr);
  _bstr_t nullText(static_cast<const char*>(nullptr));
  EXPECT_TRUE(!nullText);
  _bstr_t empty("");
  EXPECT_FALSE(!empty);
  EXPECT_STREQ(static_cast<const char*>(empty), "");
  EXPECT_TRUE(none == empty);  // null and empty compare equal
  EXPECT_TRUE(_bstr_t("a") < _bstr_t("b"));
}

TEST(BstrT, TakesOverOrCopiesBinaryStrings) {
  const char bytes[] = {'\0', '\x01', '\x02'};
  BSTR raw = SysAllocStringByteLen(bytes, 3);
  _bstr_t copy(raw, true);
  EXPECT_NE(static_cast<BSTR>(copy), raw);
  EXPECT_EQ(SysStringByteLen(copy), 3u);
  _bstr_t owner(raw, false);  // freed with the record
  EXPECT_EQ(static_cast<BSTR>(owner), raw);
  BSTR out = owner.copy();
  EXPECT_EQ(SysStringByteLen(out), 3u);
  EXPECT_EQ(std::memcmp(out, bytes, 3), 0);
  SysFreeString(out);
  BSTR detached = owner.Detach();
  EXPECT_EQ(detached, raw);
  EXPECT_TRUE(!owner);
  SysFreeString(detached);
}

TEST(ComError, CarriesCodeAndThreadErrorInformation) {
  try {
    _com_issue_error(E_INVALIDARG);
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), E_INVALIDARG);
    EXPECT_TRUE(!e.Description());
    EXPECT_EQ(e.ErrorInfo(), nullptr);
  }
  kx::SetErrorDescription(u"The certificate has expired.", u"Engine");
  try {
    _com_issue_errorex(KX_HR(0x800B0101), nullptr, IID_NULL);
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), KX_HR(0x800B0101));
    EXPECT_STREQ(static_cast<const char*>(e.Description()), "The certificate has expired.");
    EXPECT_STREQ(static_cast<const char*>(e.Source()), "Engine");
    _com_error copy = e;  // copies share the error object
    EXPECT_STREQ(static_cast<const char*>(copy.Description()), "The certificate has expired.");
    EXPECT_STREQ(e.ErrorMessage(), "Unknown error 0x800B0101");
  }
  // Taken: the thread has no error information left.
  IErrorInfo* info = reinterpret_cast<IErrorInfo*>(1);
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(_com_error(_com_error::WCodeToHRESULT(5)).WCode(), 5);
  EXPECT_STREQ(_com_error(E_NOINTERFACE).ErrorMessage(), "No such interface supported");
}

TEST(ComError, ErrorInformationBelongsToItsThread) {
  kx::SetErrorDescription(u"main thread");
  IErrorInfo* fromWorker = reinterpret_cast<IErrorInfo*>(1);
  std::thread([&] { GetErrorInfo(0, &fromWorker); }).join();
  EXPECT_EQ(fromWorker, nullptr);
  IErrorInfo* mine = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &mine), S_OK);
  BSTR d = nullptr;
  mine->GetDescription(&d);
  EXPECT_EQ(std::u16string(d), u"main thread");
  SysFreeString(d);
  mine->Release();
}

TEST(VariantT, ConversionsRaiseComErrors) {
  _variant_t n(static_cast<LONG>(42));
  EXPECT_EQ(static_cast<double>(n), 42.0);
  EXPECT_STREQ(static_cast<const char*>(static_cast<_bstr_t>(n)), "42");
  _variant_t s("12");
  EXPECT_EQ(static_cast<LONG>(s), 12);
  _variant_t word("twelve");
  try {
    (void)static_cast<LONG>(word);
    FAIL() << "no error raised";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), DISP_E_TYPEMISMATCH);
  }
  _variant_t d(45477.0, VT_DATE);
  EXPECT_EQ(d.vt, VT_DATE);
  EXPECT_STREQ(static_cast<const char*>(_bstr_t(d)), "7/4/2024");
  _variant_t copy = d;
  EXPECT_TRUE(copy == d);
  copy.ChangeType(VT_BSTR);
  EXPECT_EQ(copy.vt, VT_BSTR);
  EXPECT_FALSE(copy == d);
  _variant_t b(true);
  EXPECT_EQ(b.boolVal, VARIANT_TRUE);
  VARIANT raw = b.Detach();
  EXPECT_EQ(b.vt, VT_EMPTY);
  EXPECT_EQ(raw.vt, VT_BOOL);
}

}  // namespace
