// Replays a saved one-click preset on one input file without any wizard: encrypts it for the preset's
// recipients, signs it with the preset's signers, does both, or envelopes it whole. The caller builds a
// runner on its own thread (with COM initialised there), calls Initialize, then Run once per file:
//
//     COneClickRunner runner;
//     runner.Initialize();
//     CString output;                       // empty: the runner names the output itself
//     int result = runner.Run(file, presetPath, operation, output);
//     if (result >= 0) ... output holds the protected file written
//
// Every result is HRESULT-like: 0 or more is success, a negative value a failure (nothing is left behind
// then). m_strMessage and m_bHasMessage describe the last operation's signer-check or failure report.
#pragma once

#include "core/OfficeTolvexConfig.h"
#include "core/SystemProfile.h"
#include "engine/CapicomEncryptedData.h"
#include "engine/CapicomEnvelopedData.h"
#include "engine/CapicomSettings.h"
#include "engine/CapicomSignedData.h"
#include "engine/CertificateManagerSettings.h"
#include "formats/AuditLog.h"
#include "formats/FileManager.h"
#include "platform/com/guid.h"
#include "platform/mfc/cstring.h"

class CCertificateList;
class COneClickFile;
class CTolvexBinaryFile;

// The host suite's message component: class {EFBC1A4D-770E-4262-AA54-CFDB06C9DAAA}. The runner calls only
// its 22nd method (counting QueryInterface, AddRef and Release) with a parent window and the message.
KX_DEFINE_GUID(CLSID_KxHostMessages, "{EFBC1A4D-770E-4262-AA54-CFDB06C9DAAA}");
struct IKxHostMessages : IUnknown {
  // The methods before the message outlet, which the runner never calls.
  STDMETHOD(Reserved1)() = 0;
  STDMETHOD(Reserved2)() = 0;
  STDMETHOD(Reserved3)() = 0;
  STDMETHOD(Reserved4)() = 0;
  STDMETHOD(Reserved5)() = 0;
  STDMETHOD(Reserved6)() = 0;
  STDMETHOD(Reserved7)() = 0;
  STDMETHOD(Reserved8)() = 0;
  STDMETHOD(Reserved9)() = 0;
  STDMETHOD(Reserved10)() = 0;
  STDMETHOD(Reserved11)() = 0;
  STDMETHOD(Reserved12)() = 0;
  STDMETHOD(Reserved13)() = 0;
  STDMETHOD(Reserved14)() = 0;
  STDMETHOD(Reserved15)() = 0;
  STDMETHOD(Reserved16)() = 0;
  STDMETHOD(Reserved17)() = 0;
  STDMETHOD(Reserved18)() = 0;
  // The parent window handle as a 32-bit value, and the message.
  STDMETHOD(ShowMessage)(LONG parentWindow, BSTR message) = 0;
};
KX_DEFINE_IID(IKxHostMessages, "F7830781-E9CE-4FFF-B7EF-2B347F36B23B");

class COneClickRunner {
 public:
  // Operation codes of Run.
  enum { kEncrypt = 0, kSign = 1, kSignAndEncrypt = 2, kEnvelope = 3 };

  // Makes the engine objects (raises the engine's error when the engine is missing).
  COneClickRunner();
  virtual ~COneClickRunner();
  COneClickRunner(const COneClickRunner&) = delete;
  COneClickRunner& operator=(const COneClickRunner&) = delete;

  // LoadSettings.
  bool Initialize();
  // The system profile, audit, certificate-manager and configuration records, then the preset folder scan;
  // false at the first record that does not load, or when the folder holds no preset.
  bool LoadSettings();
  // Scans the folder of the user's value OneClickFolder for "*.clk" presets (kept in m_fileManager); true
  // when it holds at least one.
  bool ScanPresetFolder();
  // With the profile's OutputOption 1: the profile's OutputFolder with its separator; otherwise folder is
  // left as it is. Always 0.
  int GetOutputFolder(int kind, CString& folder);
  // Shows the text through the host's message component, when the host has one.
  void ReportMessage(const char* text);
  // Runs operation (kEncrypt ... kEnvelope) of the preset on the input. outputPath: in, the name to write
  // (empty: output folder + input name + ".Tvx"); out, the name written. A negative result when the input
  // cannot be opened (message 2000 when another process holds it, else 2001), for an unknown operation, or
  // when the operation fails.
  int Run(const char* inputPath, const char* presetPath, BYTE operation, CString& outputPath);

  int Encrypt(const char* inputPath, const char* presetPath, CString& outputPath);
  int Sign(const char* inputPath, const char* presetPath, CString& outputPath);
  int SignAndEncrypt(const char* inputPath, const char* presetPath, CString& outputPath);
  // The whole input enveloped in one piece for the preset's recipients.
  int EnvelopeFile(const char* inputPath, const char* presetPath, CString& outputPath);

  // The file's size in bytes; 0 when it cannot be opened.
  double GetFileLength(const char* path);

  CFileManager m_fileManager;
  CSystemProfile m_systemProfile;
  CAuditLog m_auditLog;
  CCertificateManagerSettings m_certManagerSettings;
  COfficeTolvexConfig m_config;
  BYTE m_bHasMessage = 0;
  CString m_strMessage;
  IKxHostMessages* m_pMessageSink = nullptr;
  CCapicomSignedData m_signedData;
  CCapicomEnvelopedData m_envelopedData;
  CCapicomEncryptedData m_encryptedData;
  CCapicomSettings m_settings;

 private:
  struct Job;
  // The chunked operations: the steps below in order, then SettleJob; the operation's result.
  int RunChunked(const char* inputPath, const char* presetPath, CString& outputPath, bool sign, bool encrypt);
  // Opens the preset and the input and makes the output object; false (nothing made) when one is missing.
  bool OpenJob(Job& job, const char* inputPath, const char* presetPath);
  // OpenJob, the preset's certificates, a recipient refused since the preset was made, an empty input (the last
  // two logged); for signing, the time stamp and, when asked, the verdict on the signers.
  HRESULT CheckJob(Job& job, const char* inputPath, const char* presetPath);
  // The output under its first free name (written beside it until whole) and its stream.
  HRESULT StartOutput(Job& job, const CString& first);
  // The envelope's cipher chosen from the preset's codes and the preset's recipients made its recipients; the
  // engine's result for a recipient it refuses.
  HRESULT AddressEnvelope(Job& job, LONG cipher, LONG keyLength);
  // The preset's recipients as the envelope's recipients, the content key and its envelope; a result below 0
  // when the engine refuses a recipient or no envelope is made.
  HRESULT PrepareEncryption(Job& job, CByteBuffer& envelopedKey);
  // Each signer's own digital ID and its signature entry; the job's sign failure when one has no key here.
  void PrepareSigners(Job& job);
  // The content signed, encrypted and written chunk by chunk; a sign failure is the job's, not the result.
  HRESULT ProtectContent(Job& job);
  // A failed signing logged and kept as the message; a failing result.
  HRESULT ReportSignFailure(Job& job, HRESULT result);
  // The protected file object filled with what this operation made.
  HRESULT DescribeOutput(Job& job);
  // DescribeOutput, the object written after the content, the output named, the success logged.
  HRESULT SaveOutput(Job& job);
  // Streams closed; a failed output removed, else its name given back and, when set so, the input removed.
  int SettleJob(Job& job, HRESULT result, CString& outputPath);
  void SetMessage(const CString& text);
  void LogInformation(const char* operation, const char* text);
  void LogError(const char* operation, const char* text);
};
