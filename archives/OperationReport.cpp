#include "archives/OperationReport.h"

#include "app/ResString.h"
#include "formats/TolvexBinaryFile.h"

namespace {

constexpr const char* kRule41 = "=========================================";
constexpr const char* kRule42 = "==========================================";
constexpr const char* kEol = "\r\n";

// A block head: the rule, the block's title, the rule.
void BlockHead(CString& text, UINT title) {
  text += CString(kRule42) + kEol + LoadResString(title) + kEol + kRule42 + kEol;
}

// One row per entry of a triple list: three labelled texts and an empty line.
void Rows(CString& text, const CStringTripleList& list, UINT first, UINT second, UINT third) {
  for (DWORD i = 0; i < list.GetCount(); ++i) {
    text += LoadResString(first) + ": " + list.m_first.GetAt(i).GetAnsi() + kEol;
    text += LoadResString(second) + ": " + list.m_second.GetAt(i).GetAnsi() + kEol;
    text += LoadResString(third) + ": " + list.m_third.GetAt(i).GetAnsi() + kEol + kEol;
  }
}

}  // namespace

CString WriteOperationReport(CString& out, const CTolvexBinaryFileBase* file) {
  CString text;
  if (file) {
    const PayloadInfo& info = file->m_info;
    const BYTE* flags = info.m_body.m_abFlags;
    const bool isSigned = info.m_signing.m_bPresent != 0;
    const bool isEncrypted = info.m_encryption.m_bPresent != 0;

    text += CString(kRule41) + kEol + LoadResString(664) + kEol + kRule41 + kEol;
    // The flag bytes mean other things in presets and in files of the signer wizard (the preset's are copied
    // into an archive): what the report says is taken from the blocks the file carries.
    text += LoadResString(458) + " " + LoadResString(isSigned ? 459 : 460) + kEol;
    text += LoadResString(463) + " = " + LoadResString(isSigned && isEncrypted ? 234 : 235) + kEol;
    text += LoadResString(518) + kEol;
    if (isEncrypted) {
      static const char* const kCiphers[] = {": RC2", ": RC4", ": DES", ": Triple DES", ": AES"};
      static const char* const kKeyLengths[] = {nullptr, ": 40 ", ": 56 ", ": 128 ", ": 192 ", ": 256 "};
      const BYTE cipher = info.m_body.m_nested.m_bCipherIndex;
      const BYTE keyLength = info.m_body.m_nested.m_bKeyLengthIndex;
      if (cipher < 5) text += LoadResString(461) + kCiphers[cipher] + kEol;
      if (keyLength >= 1 && keyLength <= 5) text += LoadResString(462) + kKeyLengths[keyLength] + LoadResString(429) + kEol;
    }
    if (flags[5] == 0) text += LoadResString(519) + kEol;
    if (isSigned) text += LoadResString(466) + kEol;
    if (isEncrypted) text += LoadResString(467) + kEol;
    if (isSigned) {
      BlockHead(text, 522);
      Rows(text, info.m_signing.m_list, 469, 470, 471);
    } else if (isEncrypted) {
      BlockHead(text, 524);
      Rows(text, info.m_encryption.m_list, 469, 472, 471);
    }
  }
  out = text;
  return text;
}
