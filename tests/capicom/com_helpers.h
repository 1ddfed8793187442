// The engine module through the class registry, as its users reach it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/capicom/capicom.h"
#include "support/pki.h"
#include "support/testroot.h"

namespace kxtest {

// Every test of the engine runs with COM initialised on its thread.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};

template <class I>
_com_ptr_t<I> Make(const CLSID& clsid) {
  _com_ptr_t<I> p;
  HRESULT hr = p.CreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER);
  EXPECT_EQ(hr, S_OK);
  return p;
}

inline _bstr_t Binary(const std::string& bytes) {
  return _bstr_t(SysAllocStringByteLen(bytes.data(), static_cast<UINT>(bytes.size())), false);
}

inline std::string BytesOf(BSTR b) {
  return b ? std::string(reinterpret_cast<const char*>(b), SysStringByteLen(b)) : std::string();
}

inline std::string Text(BSTR b) { return b ? std::string(static_cast<const char*>(_bstr_t(b))) : std::string(); }

// A fixture certificate as an engine object.
inline ICertificate2Ptr EngineCert(const std::string& name) {
  ICertificate2Ptr c = Make<ICertificate2>(CLSID_Certificate);
  EXPECT_EQ(c->Import(Binary(pki::DerBytes(name))), S_OK) << name;
  return c;
}

// The certificate of a collection item.
inline ICertificate2Ptr Item(ICertificates* list, LONG index) {
  _variant_t v;
  EXPECT_EQ(list->get_Item(index, &v), S_OK);
  return ICertificate2Ptr(v);
}

inline std::string Thumb(ICertificate* c) {
  BSTR t = nullptr;
  c->get_Thumbprint(&t);
  std::string s = Text(t);
  SysFreeString(t);
  return s;
}

}  // namespace kxtest
