// The signature image file ("KSGR"): one drawn signature image with a few texts.
#pragma once

#include "formats/FieldIo.h"
#include "formats/KesmoraFile.h"

class CSignatureFile : public CBaseKesmoraFile {
 public:
  static constexpr DWORD kShortText = 50;
  static constexpr DWORD kLongText = 255;

  CSignatureFile() : CBaseKesmoraFile(1, 2) {}
  static CBaseKesmoraFile* CreateObject();
  const CFileClass* GetFileClass() const override;
  bool Serialize() override;
  bool Deserialize(int flag) override;
  const BYTE* GetStoredDigest() const override { return m_abStoredDigest; }

  // Texts A and B are raw 50-byte fields; C, D and E are stored only when the flag is set.
  void SetTextA(const char* text) { kx::formats::SetFixedText(m_abTextA, kShortText, text); }
  void SetTextB(const char* text) { kx::formats::SetFixedText(m_abTextB, kShortText, text); }
  void SetTextC(const char* text) { kx::formats::SetFixedText(m_abTextC, kLongText, text); }
  void SetTextD(const char* text) { kx::formats::SetFixedText(m_abTextD, kLongText, text); }
  void SetTextE(const char* text) { kx::formats::SetFixedText(m_abTextE, kLongText, text); }
  CString GetTextA() const { return kx::formats::GetFixedText(m_abTextA, kShortText); }
  CString GetTextB() const { return kx::formats::GetFixedText(m_abTextB, kShortText); }
  CString GetTextC() const { return kx::formats::GetFixedText(m_abTextC, kLongText); }
  CString GetTextD() const { return kx::formats::GetFixedText(m_abTextD, kLongText); }
  CString GetTextE() const { return kx::formats::GetFixedText(m_abTextE, kLongText); }

  BYTE m_abTextA[kShortText] = {};
  BYTE m_abTextB[kShortText] = {};
  BYTE m_bFlag = 0;
  BYTE m_abTextC[kLongText] = {};
  BYTE m_abTextD[kLongText] = {};
  BYTE m_abTextE[kLongText] = {};
  CByteBuffer m_image;

 private:
  BYTE m_abStoredDigest[20] = {};
};
