// The traditional zip encryption: three 32-bit keys stirred through the CRC-32 table.
#pragma once

#include "platform/win32/types.h"

struct CZipCryptKeys {
  DWORD keys[3] = {0, 0, 0};

  // Start values, then every password byte stirred in.
  void Init(const BYTE* password, DWORD size);
  void Update(BYTE plain);
  BYTE StreamByte() const;
  BYTE Encode(BYTE plain) {
    BYTE out = static_cast<BYTE>(StreamByte() ^ plain);
    Update(plain);
    return out;
  }
  BYTE Decode(BYTE cipher) {
    BYTE plain = static_cast<BYTE>(StreamByte() ^ cipher);
    Update(plain);
    return plain;
  }
  void EncodeBuffer(BYTE* data, DWORD size) {
    for (DWORD i = 0; i < size; ++i) data[i] = Encode(data[i]);
  }
  void DecodeBuffer(BYTE* data, DWORD size) {
    for (DWORD i = 0; i < size; ++i) data[i] = Decode(data[i]);
  }
  void Wipe() { keys[0] = keys[1] = keys[2] = 0; }
};
