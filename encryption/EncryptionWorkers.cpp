// The two runs of the encryption wizard's final page: files encrypted under a password-derived key into
// encrypted protected files, and such files checked and decrypted again.
//
// The encrypted protected file ("KETV") keeps, besides its content blocks (one length-prefixed block per
// chunk, ahead of the object): the source file's name and extension (first text), the plain length in decimal
// (second text, for trimming the filled last block), the engine codes of the content cipher (description
// block), the own cipher and key-size indexes and the file-good flag (the class's three bytes), and in its
// encrypted-payload field a record of its own: the first format flag (0), the pad count of the last chunk,
// the 20-byte salt and the check block (the salt encrypted under the file's key, big-endian length first).
#include <cstring>
#include <memory>

#include "app/FailureReport.h"
#include "app/ResString.h"
#include "core/Hashes.h"
#include "core/OfficeTolvexConfig.h"
#include "core/Paths.h"
#include "core/RandomGenerator.h"
#include "core/SymmetricCipher.h"
#include "core/SystemProfile.h"
#include "encryption/EncryptionWizard.h"
#include "engine/CapicomObjectSet.h"
#include "formats/AuditLog.h"
#include "formats/FileManager.h"
#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/com/com.h"
#include "platform/win32/files.h"
#include "platform/win32/sync.h"
#include "signing/WorkerSupport.h"

using kx::engine::ToBinaryBstr;
using kx::signing::SafeRecordedName;
using kx::signing::StampHeader;
using kx::signing::WithPath;

namespace kx::encryption {

DWORD& PauseAfterRun() {
  static DWORD pause = 1200;
  return pause;
}

namespace {

constexpr const char* kEncryptOperation = "Encrypt Operation";
constexpr const char* kDecryptOperation = "Decrypt and Verify Operation";
constexpr const char* kModuleFailure = "Office Tolvex Security Module(s) failure. Contact Kesmora Technical Support";
constexpr DWORD kSaltLength = 20;
constexpr DWORD kIterations = 1000;

// The record kept in the encrypted-payload field of the class.
struct KeyRecord {
  BYTE firstFlag = 0;
  BYTE pad = 0;
  CByteBuffer salt;
  CByteBuffer check;

  void Write(CByteBuffer& out) const {
    out.Free(false);
    out.AppendByte(firstFlag, 1);
    out.AppendByte(pad, 1);
    out.Append(salt.GetLength(), salt.GetData());
    const DWORD n = check.GetLength();
    const BYTE length[4] = {BYTE(n >> 24), BYTE(n >> 16), BYTE(n >> 8), BYTE(n)};
    out.Append(4, length);
    out.Append(n, check.GetData());
  }
  // The field as read holds more bytes after the record (zeros and the digest): only the record is taken.
  bool Read(const CByteBuffer& in) {
    const DWORD size = in.GetLength();
    const BYTE* p = in.GetData();
    if (size < 2 + kSaltLength + 4) return false;
    firstFlag = p[0];
    pad = p[1];
    salt = CByteBuffer(kSaltLength, p + 2, false);
    const BYTE* l = p + 2 + kSaltLength;
    const DWORD n = (DWORD(l[0]) << 24) | (DWORD(l[1]) << 16) | (DWORD(l[2]) << 8) | l[3];
    if (n == 0 || n > size - (2 + kSaltLength + 4)) return false;
    check = CByteBuffer(n, l + 4, false);
    return true;
  }
};

bool IsLocalCipher(int ownIndex) { return ownIndex >= 5 && ownIndex <= 7; }

// One cipher layer of a file: the system's own block cipher (AES, Blowfish, Twofish) or the engine's
// encrypted-data object.
class FileCipher {
 public:
  FileCipher(CCapicomEncryptedData& engine, int ownCipher, int ownKeySize) : m_engine(engine), m_bLocal(IsLocalCipher(ownCipher)) {
    if (m_bLocal) m_local.SetAlgorithm(ownCipher, ownKeySize);
  }
  bool IsLocal() const { return m_bLocal; }
  bool SetKey(const CByteBuffer& key) {
    if (m_bLocal) {
      m_local.SetKey(key);
      return m_local.GetKey().GetLength() > 0;
    }
    return SUCCEEDED(m_engine.SetSecretFromBuffer(key, 0));
  }
  bool Encrypt(const CByteBuffer& plain, CByteBuffer& out) {
    out.Free(false);
    if (m_bLocal) {
      m_local.SetData(plain);
      return m_local.Encrypt(out) && out.GetLength() > 0;
    }
    m_engine.PutContentFromBuffer(plain);
    return m_engine.EncryptToBuffer(CAPICOM_ENCODE_BINARY, out) && out.GetLength() > 0;
  }
  bool Decrypt(const CByteBuffer& in, LONG formatVersion, CByteBuffer& out) {
    out.Free(true);
    if (m_bLocal) return m_local.Decrypt(in, out);
    BSTR message = ToBinaryBstr(in);
    HRESULT hr = m_engine.Decrypt(message, formatVersion);
    SysFreeString(message);
    return SUCCEEDED(hr) && m_engine.GetContentToBuffer(out);
  }
  void AdjustLength(DWORD& length) {
    if (m_bLocal) m_local.AdjustLength(length);
  }

 private:
  CCapicomEncryptedData& m_engine;
  bool m_bLocal;
  CBlockCipher m_local;
};

using kx::signing::FileOutcome;

class PasswordWorker : public kx::signing::FileWorker {
 public:
  explicit PasswordWorker(CEncryptionWizard* sheet)
      : FileWorker(sheet->m_WizardData, &sheet->m_FinalPage), m_sheet(sheet), m_page(&sheet->m_FinalPage),
        m_config("Software\\Kesmora\\OfficeTolvex") {}

 protected:
  DWORD PauseAfterRun() const override { return kx::encryption::PauseAfterRun(); }
  // The result message of an earlier run stays until a new one is written.
  bool ClearsResultMessage() const override { return false; }
  CString UnexpectedFailureText() const override { return kModuleFailure; }

  // The 256-byte key of the password and the salt; md5 picks the HMAC-MD5 variant.
  bool DeriveKey(const CByteBuffer& salt, bool md5, CByteBuffer& key) {
    CByteBuffer password(static_cast<DWORD>(m_data.m_strPassword.GetLength()),
                         static_cast<const char*>(m_data.m_strPassword), true);
    return password.GetLength() > 0 && DeriveKeyPbkdf2(password, salt, kIterations, md5, key);
  }
  // The engine's encrypted-data object, in the format the file declares.
  CCapicomEncryptedData& EngineContent() {
    CCapicomEncryptedData& content = m_data.m_pEngineObjects->m_EncryptedData;
    kx::signing::FollowFormatSetting(content);
    return content;
  }

  CEncryptionWizard* m_sheet;
  EncFinalPage* m_page;
  COfficeTolvexConfig m_config;
  CSystemProfile m_profile;
};

// ---- encrypt ----

class EncryptRun : public PasswordWorker {
 public:
  using PasswordWorker::PasswordWorker;

 protected:
  const char* Operation() const override { return kEncryptOperation; }
  void StartRun() override {
    m_config.LoadGeneralOptions();
    m_profile.Load();
  }
  void ProcessFile(FileOutcome& file) override;
};

// A file's result when its input cannot be opened: resource string 370 with the cause.
CString UnreadableInput(const CFileStream* in) {
  return in ? LoadResString(370) + " " + in->GetLastOpenErrorText().c_str() : LoadResString(370);
}

void EncryptRun::ProcessFile(FileOutcome& file) {
  if (file.input.IsEmpty()) {
    file.Fail(LoadResString(418));
    return;
  }
  file.in.reset(m_files.OpenStream(file.input));
  if (!file.in || !file.in->IsOpen()) {
    file.Fail(UnreadableInput(file.in.get()));
    return;
  }
  if (!m_data.m_pEngineObjects) {
    file.Fail(kModuleFailure);
    return;
  }
  const uint64_t size = file.in->GetSize64();
  if (size == 0) {
    file.Fail("Failed to read the encrypted data of the file. Check if the file is not empty. ",
              "Failed to read the file (check if Fle size is not 0)");
    AuditError("Failed because file size is 0 bytes");
    return;
  }
  const int ownCipher = m_data.m_nSymmetricCipher, ownKeySize = m_data.m_nSymmetricKeySize;
  const bool local = IsLocalCipher(ownCipher);
  // The engine takes part only with codes a cipher page chose.
  if (ownCipher < 0 || ownKeySize < 0 || (!local && (m_data.m_nCipher < 0 || m_data.m_nKeyLength < 0))) {
    file.Fail(LoadResString(ownCipher < 0 || (!local && m_data.m_nCipher < 0) ? 427 : 428));
    return;
  }
  CCapicomEncryptedData& engine = EngineContent();
  if (!local) {
    engine.SetCipherCodes(m_data.m_nCipher, m_data.m_nKeyLength);
    CCapicomAlgorithm algorithm = engine.GetAlgorithm();
    algorithm.PutName(m_data.m_nCipher);
    algorithm.PutKeyLength(m_data.m_nKeyLength);
  }
  FileCipher cipher(engine, ownCipher, ownKeySize);

  CPathParts parts(file.input);
  const CString folder = OutputFolderOf(file.input, m_data.m_strOutputFolder);
  const CString name = parts.GetFileName() + parts.GetExtension();
  if (!file.CreateOutput(m_files, folder + name + ".Etv")) {
    file.Fail(WithPath("Operation Failed. File ", file.output.IsEmpty() ? folder + name + ".Etv" : file.output, "(") +
              " couldnt be saved.");
    AuditError(file.result);
    return;
  }
  uint64_t chunk64 = m_profile.MemoryCache > 0 ? static_cast<uint64_t>(std::min(m_profile.MemoryCache, 1024)) << 20 : 1048576u;
  const bool oneChunk = size <= chunk64;
  if (oneChunk) chunk64 = size;
  DWORD chunk = static_cast<DWORD>(chunk64);

  CRandomGenerator random(true);
  random.SetSize(24);
  KeyRecord record;
  CByteBuffer fresh = random.Generate();
  if (fresh.GetLength() < kSaltLength) {
    file.Fail(kModuleFailure);
    return;
  }
  record.salt = CByteBuffer(kSaltLength, fresh.GetData(), false);
  CByteBuffer key(0, true);
  if (!DeriveKey(record.salt, m_data.m_nSymmetricOption != 0, key) || !cipher.SetKey(key)) {
    file.Fail("Failed to read the encrypted data of the file. ");
    AuditError("Failed to read the encrypted data of the file. ");
    return;
  }
  if (!oneChunk) cipher.AdjustLength(chunk);
  // The salt under the file's key: the password check of the reader.
  if (!cipher.Encrypt(record.salt, record.check)) {
    file.Fail("Failed to read the encrypted data of the file. ");
    AuditError("Failed to read the encrypted data of the file. ");
    return;
  }

  uint64_t processed = 0;
  CByteBuffer plain(0, true), encrypted;
  while (file.in->ReadBlock(chunk, plain)) {
    if (!cipher.Encrypt(plain, encrypted)) {
      file.Fail("Failed to read the encrypted data of the file. ");
      AuditError("Failed to read the encrypted data of the file. ");
      return;
    }
    if (cipher.IsLocal()) record.pad = static_cast<BYTE>(encrypted.GetLength() - plain.GetLength());
    if (!file.out->WriteUInt32Block(encrypted)) break;
    // Counted once it is on the disk: a failed write of the last chunk must not pass for a whole file.
    processed += plain.GetLength();
  }
  // A read or write that stopped early leaves the output short of the input: that is no encrypted file.
  if (processed != size) {
    file.Fail(WithPath("Operation Failed. File ", file.output, "(") + " couldnt be saved.");
    AuditError(file.result);
    return;
  }

  CBaseKesmoraFile* made = m_files.CreateFileObject("KETV");
  std::unique_ptr<CEncryptedTolvexBinaryFile> object(dynamic_cast<CEncryptedTolvexBinaryFile*>(made));
  if (!object) {
    delete made;
    file.Fail("Failed to read the data of the file. It is invalid Office Tolvex file. ");
    AuditError(file.result);
    return;
  }
  object->m_info.m_strText1 = name;
  object->m_info.m_strText2.Format("%llu", static_cast<unsigned long long>(size));
  object->m_info.m_body.m_nested.m_bCipherIndex = static_cast<BYTE>(local ? 0xFF : m_data.m_nCipher);
  object->m_info.m_body.m_nested.m_bKeyLengthIndex = static_cast<BYTE>(local ? 0xFF : m_data.m_nKeyLength);
  object->m_nCipherIndex = static_cast<DWORD>(ownCipher);
  object->m_nKeySizeIndex = static_cast<DWORD>(ownKeySize);
  object->m_bFlag = 1;
  record.Write(object->m_encrypted);
  StampHeader(*object, 0);
  bool written = false;
  try {
    written = file.out->WriteFileObject(object.get());
  } catch (...) {
    file.Fail(CString("Error has occured. Please contact Kesmora\nCould not save file:") + file.output);
    AuditError(file.result);
    return;
  }
  if (!written) {
    file.Fail(WithPath("Operation Failed. File ", file.output, "(") + " couldnt be saved.");
    AuditError(file.result);
    return;
  }
  if (!file.CommitOutput()) {
    AuditError(file.result);
    return;
  }
  AuditInformation(WithPath("Operation Successful. File ", file.output, "(") + " saved.");
  if (m_config.ShredTemporaryFiles) {
    // The input goes only after its encrypted file was written whole.
    file.in.reset();
    SetFileAttributes(file.input, FILE_ATTRIBUTE_NORMAL);
    DeleteFile(file.input);
  }
}

// ---- decrypt and verify ----

class DecryptRun : public PasswordWorker {
 public:
  using PasswordWorker::PasswordWorker;

 protected:
  const char* Operation() const override { return kDecryptOperation; }
  void ProcessFile(FileOutcome& file) override;

 private:
  // The failure with its status text, and the audit entry of the text followed by the path in parentheses.
  void Failed(FileOutcome& file, const char* status, const char* box, const char* audit) {
    file.Fail(status, box);
    AuditError(WithPath(audit ? audit : status, file.input));
  }
  // Whether the key of the password opens the file's check block.
  static bool PasswordOpens(FileCipher& cipher, const KeyRecord& record, LONG version, const CByteBuffer& key);
};

bool DecryptRun::PasswordOpens(FileCipher& cipher, const KeyRecord& record, LONG version, const CByteBuffer& key) {
  if (!cipher.SetKey(key)) return false;
  CByteBuffer opened(0, true);
  return cipher.Decrypt(record.check, version, opened) && opened.GetLength() >= record.salt.GetLength() &&
         std::memcmp(opened.GetData(), record.salt.GetData(), record.salt.GetLength()) == 0;
}

void DecryptRun::ProcessFile(FileOutcome& file) {
  constexpr const char* kNotEncrypted =
      "The document has the same extension as Office Tolvex file, but it is not a valid office tolvex document";
  constexpr const char* kModified =
      "The Office Tolvex has detected that this file has been modified. (SHA-1 Hash of the file doesnt match with "
      "generated one)";
  if (file.input.IsEmpty()) {
    file.Fail(LoadResString(418));
    return;
  }
  file.in.reset(m_files.OpenStream(file.input));
  if (!file.in || !file.in->IsOpen()) {
    // Missing or unreadable, which says nothing about whether it is an encrypted file.
    file.Fail(UnreadableInput(file.in.get()));
    return;
  }
  CBaseKesmoraFile* read = file.in->ReadFileObject();
  // Only an encrypted protected file: the other classes lack its key record.
  std::unique_ptr<CEncryptedTolvexBinaryFile> object(dynamic_cast<CEncryptedTolvexBinaryFile*>(read));
  if (!object) delete read;
  CByteBuffer digest;
  if (!object || !object->ComputeDigest(digest, true, 0)) {
    // A changed file fails its digest, or no longer parses though it carries the marker: tell it from a foreign one.
    bool changed = false;
    if (!object) {
      std::unique_ptr<CFileStream> again(m_files.OpenStream(file.input));
      CByteBuffer image;
      changed = again && again->IsOpen() && again->ReadTrailingBlock(image) && image.GetLength() >= 4 &&
                std::memcmp(image.GetData(), "KETV", 4) == 0;
    } else {
      changed = true;
    }
    Failed(file, changed ? kModified : kNotEncrypted, nullptr, nullptr);
    return;
  }
  KeyRecord record;
  if (!record.Read(object->m_encrypted) || record.firstFlag != 0 || object->m_bFlag != 1 || object->GetOptions()[0] != 0) {
    Failed(file, "Incorrect Office Tolvex data file (check if Fle size is not 0)",
           "Failed to read the file (Incorrect Option Data. check if Fle size is not 0)", nullptr);
    return;
  }
  if (!m_data.m_pEngineObjects) {
    file.Fail(kModuleFailure);
    return;
  }
  const int ownCipher = static_cast<int>(object->m_nCipherIndex), ownKeySize = static_cast<int>(object->m_nKeySizeIndex);
  const LONG version = object->m_info.m_abFormat[3];
  CCapicomEncryptedData& engine = m_data.m_pEngineObjects->m_EncryptedData;
  if (!IsLocalCipher(ownCipher))
    engine.SetCipherCodes(object->m_info.m_body.m_nested.m_bCipherIndex, object->m_info.m_body.m_nested.m_bKeyLengthIndex);
  FileCipher cipher(engine, ownCipher, ownKeySize);

  // The key-derivation choice is not stored: the page's choice first, then the other one.
  const bool md5 = m_data.m_nSymmetricOption != 0;
  CByteBuffer key(0, true);
  bool opens = false;
  for (bool variant : {md5, !md5}) {
    if (DeriveKey(record.salt, variant, key) && PasswordOpens(cipher, record, version, key)) {
      opens = true;
      break;
    }
  }
  if (!opens) {
    Failed(file, "Failed to decrypt the data of the file. Incorrect and invalid password",
           "Please enter the right password for this file.",
           "(E7) Failed to decrypt the data of the file. Incorrect and invalid password");
    return;
  }

  CPathParts parts(file.input);
  const CString folder = OutputFolderOf(file.input, m_data.m_strOutputFolder);
  if (!file.CreateOutput(m_files, folder + SafeRecordedName(object->m_info.m_strText1, parts.GetFileName()))) {
    Failed(file, "(E4) Failed to read the decrypted data of the file. ", "(E4) Failed to get the decrypted data of the file",
           nullptr);
    return;
  }
  // The plain length the writer kept; without it, the pad count of the last block.
  uint64_t remaining = object->m_info.KeptLength();

  CByteBuffer block, next, plain(0, true);
  bool more = file.in->ReadUInt32Block(block);
  DWORD blocks = 0;
  while (more) {
    more = file.in->ReadUInt32Block(next);
    if (!cipher.Decrypt(block, version, plain)) {
      Failed(file, "(E2) Failed to read the decrypted data of the file. ", "Failed to read the decrypted data of the file. ",
             "Failed to read the decrypted data of the file. ");
      return;
    }
    DWORD length = plain.GetLength();
    if (remaining != UINT64_MAX) {
      if (length > remaining) length = static_cast<DWORD>(remaining);
      remaining -= length;
    } else if (!more && cipher.IsLocal() && record.pad <= length) {
      length -= record.pad;
    }
    if (length && !file.out->WriteRaw(CByteBuffer(length, plain.GetData(), true))) {
      Failed(file, "(E2) Failed to read the decrypted data of the file. ", "Failed to read the decrypted data of the file. ",
             "Failed to read the decrypted data of the file. ");
      return;
    }
    ++blocks;
    block = next;
  }
  // Every block up to the object was read, and the content is whole.
  if (blocks == 0 || file.in->GetPosition() != file.in->GetTrailingOffset() || (remaining != UINT64_MAX && remaining != 0)) {
    Failed(file, "Failed to read the decrypted data of the file. ", "(E3) Failed to read the decrypted data of the file. ",
           "(E3) Failed to read the decrypted data of the file. ");
    return;
  }
  // The output takes its name before the log calls the file decrypted.
  if (!file.CommitOutput()) {
    AuditError(file.result);
    return;
  }
  // Nothing in the file checks its content (only its object has a digest): decrypted, not verified.
  AuditInformation(WithPath("Successfully decrypted the file", file.input));
}

template <class Run>
UINT RunWorker(LPVOID argument) {
  auto* object = static_cast<CObject*>(argument);
  if (!object || !object->IsKindOf(RUNTIME_CLASS(CEncryptionWizard))) return 1;
  Run run(static_cast<CEncryptionWizard*>(object));
  return run.Run();
}

}  // namespace
}  // namespace kx::encryption

UINT EncFinalEncryptThreadProc(LPVOID sheet) { return kx::encryption::RunWorker<kx::encryption::EncryptRun>(sheet); }
UINT EncFinalDecryptVerifyThreadProc(LPVOID sheet) {
  return kx::encryption::RunWorker<kx::encryption::DecryptRun>(sheet);
}
