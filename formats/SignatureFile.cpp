#include "formats/SignatureFile.h"

#include <cstring>

#include "formats/FieldIo.h"
#include "formats/FileClass.h"

using kx::formats::FieldReader;
using kx::formats::FieldWriter;

CBaseKesmoraFile* CSignatureFile::CreateObject() { return new CSignatureFile; }
const CFileClass* CSignatureFile::GetFileClass() const { return &g_fileClassSignature; }

bool CSignatureFile::Serialize() {
  FieldWriter w;
  w.Bytes(m_abTextA, kShortText);
  w.Bytes(m_abTextB, kShortText);
  if (m_bFlag) {
    w.Byte(1);
    w.Bytes(m_abTextC, kLongText);
    w.Bytes(m_abTextD, kLongText);
    w.Bytes(m_abTextE, kLongText);
  } else {
    w.Byte(0);
    w.Zeros(3 * kLongText);
  }
  w.SizedBuffer(m_image);
  return FinishBody(w);
}

bool CSignatureFile::Deserialize(int) {
  std::memset(m_abTextA, 0, sizeof m_abTextA);
  std::memset(m_abTextB, 0, sizeof m_abTextB);
  std::memset(m_abTextC, 0, sizeof m_abTextC);
  std::memset(m_abTextD, 0, sizeof m_abTextD);
  std::memset(m_abTextE, 0, sizeof m_abTextE);
  std::memset(m_abStoredDigest, 0, sizeof m_abStoredDigest);
  m_bFlag = 0;
  m_image.Free(false);
  DWORD payloadLength = 0;
  if (!ParseHeader(nullptr) || m_body.GetLength() == 0 || !GetPayloadLength(payloadLength)) return false;
  FieldReader r(m_body.GetData(), payloadLength);
  DWORD length = 0;
  if (!r.Bytes(m_abTextA, kShortText) || !r.Bytes(m_abTextB, kShortText) || !r.Flag(m_bFlag) ||
      !r.Bytes(m_abTextC, kLongText) || !r.Bytes(m_abTextD, kLongText) || !r.Bytes(m_abTextE, kLongText) ||
      !r.UInt32(length) || !r.Buffer(m_image, length))
    return false;
  return CopyStoredDigest(m_abStoredDigest);
}
