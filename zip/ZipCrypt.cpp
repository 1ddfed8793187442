#include "zip/ZipCrypt.h"

#include <zlib.h>

namespace {
DWORD CrcStep(DWORD crc, BYTE b) {
  static const z_crc_t* table = get_crc_table();
  return static_cast<DWORD>(table[(crc ^ b) & 0xFF]) ^ (crc >> 8);
}
}  // namespace

void CZipCryptKeys::Init(const BYTE* password, DWORD size) {
  keys[0] = 0x12345678;
  keys[1] = 0x23456789;
  keys[2] = 0x34567890;
  for (DWORD i = 0; i < size; ++i) Update(password[i]);
}

void CZipCryptKeys::Update(BYTE plain) {
  keys[0] = CrcStep(keys[0], plain);
  keys[1] = (keys[1] + (keys[0] & 0xFF)) * 134775813u + 1;
  keys[2] = CrcStep(keys[2], static_cast<BYTE>(keys[1] >> 24));
}

BYTE CZipCryptKeys::StreamByte() const {
  DWORD t = (keys[2] & 0xFFFF) | 2;
  return static_cast<BYTE>((t * (t ^ 1)) >> 8);
}
