// Shared set-up of the engine wrapper tests: COM on the test's thread, fixture certificates as wrappers.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/ByteBuffer.h"
#include "engine/CapicomCertificate.h"
#include "support/pki.h"
#include "support/testroot.h"

namespace kxtest {

class EngineWrapperTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};

inline CByteBuffer BufferOf(const std::string& bytes) {
  return CByteBuffer(static_cast<DWORD>(bytes.size()), bytes.data(), false);
}

inline std::string StringOf(const CByteBuffer& b) {
  return b.GetLength() ? std::string(reinterpret_cast<const char*>(b.GetData()), b.GetLength()) : std::string();
}

inline CCapicomCertificate Cert(const std::string& name) {
  CCapicomCertificate c;
  EXPECT_EQ(c.ImportFromBuffer(BufferOf(pki::DerBytes(name))), S_OK) << name;
  return c;
}

// The result code of the COM error a call raises; S_OK when it raises none.
inline HRESULT RaisedBy(const std::function<void()>& f) {
  try {
    f();
  } catch (const _com_error& e) {
    return e.Error();
  }
  return S_OK;
}

// The engine's classes, for tests that take the engine away and put it back.
void UnregisterEngine();
void RegisterEngine();

}  // namespace kxtest
