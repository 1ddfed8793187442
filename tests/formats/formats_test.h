// Shared helpers of the file-family tests: COM for the engine's certificates, files as byte strings, and
// family objects filled with recognisable values.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/ByteBuffer.h"
#include "formats/FileManager.h"
#include "formats/KesmoraFile.h"
#include "support/testroot.h"

namespace kxtest {

class FormatsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};

inline CByteBuffer BufferOf(const std::string& bytes) {
  return bytes.empty() ? CByteBuffer() : CByteBuffer(static_cast<DWORD>(bytes.size()), bytes.data(), false);
}

inline std::string StringOf(const CByteBuffer& b) {
  return b.GetLength() ? std::string(reinterpret_cast<const char*>(b.GetData()), b.GetLength()) : std::string();
}

// Big-endian 32-bit value at offset of bytes.
inline uint32_t WordAt(const std::string& bytes, size_t offset) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

inline void PutWord(std::string& bytes, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>(v >> (24 - 8 * i));
}

inline std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// A fresh object of the marker's class; the manager keeps its content handler alive.
template <class T>
T* Make(CFileManager& manager, const char* marker) {
  T* object = dynamic_cast<T*>(manager.CreateFileObject(marker));
  EXPECT_NE(object, nullptr) << marker;
  return object;
}

}  // namespace kxtest
