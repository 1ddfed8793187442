#include "signing/SummarySheet.h"

#include <cstdlib>
#include <memory>

#include "app/ResString.h"
#include "certificates/CertDetailsDlg.h"
#include "certificates/CertificateRows.h"
#include "controls/ZoomRect.h"
#include "core/OfficeTolvexConfig.h"
#include "engine/CapicomEncryptedData.h"
#include "engine/CapicomEnvelopedData.h"
#include "engine/CapicomSignedData.h"
#include "engine/CapicomSigner.h"
#include "formats/FileManager.h"
#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/capicom/capicom_defs.h"

IMPLEMENT_DYNAMIC(CSummarySheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CSummarySheet, SHEET_CLASS(CBaseSheet), "Tolvex File Information", 0, 0, 0)
IMPLEMENT_DYNAMIC(CMailSummarySheet, CSummarySheet)
IMPLEMENT_SHEET_CLASS(CMailSummarySheet, SHEET_CLASS(CSummarySheet), "MailTolvex Information", 0, 0, 0)

BEGIN_MESSAGE_MAP(CSummarySheet, CBaseSheet)
  ON_WM_CREATE()
  ON_WM_DESTROY()
  ON_WM_ACTIVATE()
  ON_MESSAGE(WM_APP + 0x3E1, OnPageShown)
END_MESSAGE_MAP()

using kx::engine::ToBinaryBstr;

namespace {

constexpr const char* kEol = "\r\n";
constexpr const char* kRule41 = "=========================================\r\n";
constexpr const char* kRule42 = "==========================================\r\n";

CString Text(const CBstrString& s) { return s.GetAnsi() ? CString(s.GetAnsi()) : CString(); }

// The content key a protected file stores: in the extra block when the header says so, else in the
// encryption part; null when it stores none.
const CByteBuffer* StoredContentKey(const CTolvexBinaryFile& file) {
  if (file.GetExtraBlockFlag() && file.m_extraBlock.GetLength()) return &file.m_extraBlock;
  if (file.m_info.m_encryption.m_buffer.GetLength()) return &file.m_info.m_encryption.m_buffer;
  return nullptr;
}

// The certificate that made a signature the engine has just verified.
CCapicomCertificate SignerCertificate(const CCapicomSignedData& data) {
  CCapicomSigners signers = data.GetSigners();
  if (signers.GetCount() > 0) return signers.GetItem(1).GetCertificate();
  CCapicomCertificates certificates = data.GetCertificates();
  return certificates.GetItem(certificates.GetCount());
}

// One labelled line per entry of a text-triple list, each entry ended by an empty line.
void AppendTriples(CString& text, const CStringTripleList& list, UINT first, UINT second, UINT third) {
  for (DWORD i = 0; i < list.GetCount(); ++i) {
    text += LoadResString(first) + ": " + Text(list.m_first.GetAt(i)) + kEol;
    text += LoadResString(second) + ": " + Text(list.m_second.GetAt(i)) + kEol;
    text += LoadResString(third) + ": " + Text(list.m_third.GetAt(i)) + kEol + kEol;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// The summary sheet
// ---------------------------------------------------------------------------------------------------------------

CSummarySheet::CSummarySheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  AddPages();
  m_pFile = nullptr;
  m_bOwnAnimation = 0;
  m_bHosted = 0;
  EnableHeader(TRUE);
}

CSummarySheet::~CSummarySheet() {
  delete m_pFile;
  m_pFile = nullptr;
}

void CSummarySheet::AddSummaryPages(const PageEntry (&entries)[3]) {
  m_imlTabs.DeleteImageList();
  m_imlPageIcons.DeleteImageList();
  m_imlTabs.Create(16, 16, 0, 1, 1);
  m_imlPageIcons.Create(32, 32, ILC_COLOR24 | ILC_MASK, 0, 5);
  m_astrPageCaptions.RemoveAll();
  m_astrPageDescriptions.RemoveAll();
  m_astrTabTitles.RemoveAll();
  for (const PageEntry& e : entries) {
    const CString caption = LoadResString(e.caption);
    AddPageWithIcon(e.page, e.icon, caption, LoadResString(e.description));
    m_astrTabTitles.Add(caption);
  }
}

BOOL CSummarySheet::AddPages() {
  // The constructor adds the pages; the registry's call after it finds them there.
  if (GetPageCount() > 0) return TRUE;
  AddSummaryPages({{&m_pageMain, 141, 5313, 5314}, {&m_pageSign, 1918, 5292, 5295}, {&m_pageGen, 143, 5293, 5296}});
  return TRUE;
}

CString CSummarySheet::LoadProtectedFile() {
  if (m_pFile) return m_pFile->m_info.m_strText1;
  CString name;
  CFileManager files;
  std::unique_ptr<CFileStream> stream(m_strFilePath.IsEmpty() ? nullptr : files.OpenStream(m_strFilePath));
  if (stream && stream->IsOpen()) {
    try {
      m_body.Free(true);
      std::unique_ptr<CBaseKesmoraFile> read(stream->ReadFileObject());
      // Only a protected file: signature pictures, presets and logs lack what is shown here.
      if (auto* file = dynamic_cast<CTolvexBinaryFile*>(read.get())) {
        read.release();
        m_pFile = file;
        stream->ReadUInt32Block(m_body);
        const PayloadInfo& info = m_pFile->m_info;
        const CByteBuffer* key = StoredContentKey(*m_pFile);
        if (info.m_signing.m_bPresent && info.m_encryption.m_bPresent && key) {
          BSTR message = ToBinaryBstr(*key);
          HRESULT hr = E_FAIL;
          try {
            CCapicomEnvelopedData envelope;
            hr = envelope.Decrypt(message);
            if (SUCCEEDED(hr) && !envelope.GetContentToBuffer(m_sessionKey)) hr = E_FAIL;
          } catch (const _com_error& e) {
            hr = FAILED(e.Error()) ? e.Error() : E_FAIL;
          }
          SysFreeString(message);
          if (FAILED(hr) || m_sessionKey.GetLength() == 0) {
            m_sessionKey.Free(true);
            m_strStatusText = LoadResString(526);
          }
        }
        name = info.m_strText1;
      }
    } catch (const _com_error&) {
      // What was loaded stays; the name is given only for a file loaded whole.
    }
  }
  stream.reset();
  files.Reset();
  return name;
}

CString CSummarySheet::BuildReportText() {
  if (!m_pFile) return CString();
  const PayloadInfo& info = m_pFile->m_info;
  const BYTE* flags = info.m_body.m_abFlags;
  const bool isSigned = info.m_signing.m_bPresent != 0;
  const bool isEncrypted = info.m_encryption.m_bPresent != 0;
  const bool mail = m_bMailMode != 0;

  CString text = CString(kRule41) + LoadResString(mail ? 517 : 457) + kEol + kRule41;
  // From the blocks the file carries: an archive carries its preset's flag bytes, which mean other things.
  text += CString(kEol) + LoadResString(458) + " " + LoadResString(isSigned ? 459 : 460) + kEol;
  text += LoadResString(463) + " = " + LoadResString(isSigned && isEncrypted ? 234 : 235) + kEol;
  text += LoadResString(518) + kEol;
  if (isEncrypted) {
    static const char* const kCiphers[] = {": RC2", ": RC4", ": DES", ": Triple DES", ": AES"};
    static const char* const kKeyLengths[] = {nullptr, ": 40 ", ": 56 ", ": 128 ", ": 192 ", ": 256 "};
    const BYTE cipher = info.m_body.m_nested.m_bCipherIndex;
    const BYTE keyLength = info.m_body.m_nested.m_bKeyLengthIndex;
    if (cipher <= 4) text += LoadResString(461) + kCiphers[cipher] + kEol;
    if (keyLength >= 1 && keyLength <= 5) text += LoadResString(462) + kKeyLengths[keyLength] + LoadResString(429) + kEol;
  }
  if (flags[5] == 0) text += LoadResString(519) + kEol;
  if (isSigned) text += LoadResString(mail ? 520 : 466) + kEol;
  if (isEncrypted) text += LoadResString(mail ? 521 : 467) + kEol;
  if (isSigned) {
    text += CString(kRule42) + LoadResString(mail ? 523 : 522) + kEol + kRule42;
    // The third text of a signer is the end of its certificate's validity ("Valid To").
    AppendTriples(text, info.m_signing.m_list, 469, 470, 201);
  }
  if (isEncrypted) {
    text += CString(kRule42) + LoadResString(mail ? 525 : 524) + kEol + kRule42;
    AppendTriples(text, info.m_encryption.m_list, 469, 472, 471);
  }
  return text;
}

bool CSummarySheet::GetEntry(DWORD i, PayloadEntry& entry) const {
  return m_pFile && i < m_pFile->m_info.m_body.GetEntryCount() && m_pFile->m_info.m_body.GetEntry(i, entry);
}

bool CSummarySheet::ReadContent(const std::function<bool(DWORD, const CByteBuffer&)>& visit, DWORD& blocks) {
  blocks = 0;
  if (!m_pFile) return false;
  const PayloadInfo& info = m_pFile->m_info;
  const bool encrypted = info.m_encryption.m_bPresent != 0;
  // Encrypted content opens only with the content key the sheet could open.
  if (encrypted && !m_sessionKey.GetLength()) return false;

  CFileManager files;
  std::unique_ptr<CFileStream> stream(files.OpenStream(m_strFilePath));
  CByteBuffer image;
  if (!stream || !stream->IsOpen() || !stream->ReadTrailingBlock(image)) return false;

  CCapicomEncryptedData decryptor(kx::engine::kEmpty);
  if (encrypted) {
    decryptor = CCapicomEncryptedData();
    decryptor.SetCipherCodes(info.m_body.m_nested.m_bCipherIndex, info.m_body.m_nested.m_bKeyLengthIndex);
    if (FAILED(decryptor.SetSecretFromBuffer(m_sessionKey, 0))) return false;
  }
  const LONG formatVersion = info.m_abFormat[3];
  uint64_t remaining = info.RecordedContentLength();
  CByteBuffer block, plain(0, true);
  while (stream->ReadUInt32Block(block)) {
    const CByteBuffer* content = &block;
    if (encrypted) {
      BSTR message = ToBinaryBstr(block);
      HRESULT hr = decryptor.Decrypt(message, formatVersion);
      SysFreeString(message);
      plain.Free(true);
      if (FAILED(hr) || !decryptor.GetContentToBuffer(plain)) return false;
      if (plain.GetLength() > remaining) {
        CByteBuffer cut(static_cast<DWORD>(remaining), plain.GetData(), true);
        plain = cut;
      }
      content = &plain;
    }
    // A block past the recorded end of the content: the file is not what was written.
    if (content->GetLength() == 0) return false;
    if (remaining != UINT64_MAX) remaining -= content->GetLength();
    if (!visit(blocks++, *content)) return false;
  }
  return stream->GetPosition() == stream->GetTrailingOffset() && blocks > 0 &&
         (remaining == UINT64_MAX || remaining == 0);
}

void CSummarySheet::CheckSigners() {
  m_verified.clear();
  m_sound.clear();
  m_firstContent.Free(true);
  m_bChecked = true;
  if (!m_pFile || !m_pFile->m_info.m_signing.m_bPresent) return;

  const DWORD count = m_pFile->m_info.m_body.GetEntryCount();
  std::vector<PayloadEntry> entries(count);
  std::vector<char> good(count, 0);
  std::vector<CSummarySigner> found(count);
  bool any = false;
  for (DWORD i = 0; i < count; ++i) {
    good[i] = GetEntry(i, entries[i]) && entries[i].m_buffers.GetCount() > 0;
    any = any || good[i];
  }
  if (!any) return;

  try {
    CCapicomSignedData data;
    DWORD blocks = 0;
    // Every signer's signature of every block, against the block as it was signed.
    const bool whole = ReadContent(
        [&](DWORD k, const CByteBuffer& content) {
          if (k == 0) m_firstContent = content;
          bool left = false;
          for (DWORD i = 0; i < count; ++i) {
            if (!good[i]) continue;
            const PayloadEntry& entry = entries[i];
            good[i] = 0;
            if (k >= entry.m_buffers.GetCount()) continue;
            CByteBuffer signature = entry.m_buffers.GetAt(k);
            try {
              data.PutContentFromBuffer(content);
              // The signatures alone: the signers are judged below by the one validity verdict.
              if (FAILED(data.Verify(signature, true, CAPICOM_VERIFY_SIGNATURE_ONLY))) continue;
              if (k == 0) {
                found[i].m_certificate = SignerCertificate(data);
                found[i].m_firstSignature = signature;
              }
              good[i] = 1;
              left = true;
            } catch (const _com_error&) {
              // This signer does not verify.
            }
          }
          return left;
        },
        blocks);
    if (!whole) return;
    kx::capi::ListingScope scope;
    for (DWORD i = 0; i < count; ++i) {
      if (!good[i] || entries[i].m_buffers.GetCount() != blocks) continue;
      found[i].m_nEntry = i;
      found[i].m_problem = SignerProblem(found[i].m_certificate, &found[i].m_firstSignature);
      m_verified.push_back(found[i]);
      if (found[i].m_problem.IsEmpty()) m_sound.push_back(found[i]);
    }
  } catch (const _com_error&) {
    m_verified.clear();
    m_sound.clear();
  }
}

const std::vector<CSummarySigner>& CSummarySheet::GetVerifiedSigners(LONG level) {
  if (!m_bChecked) {
    BeginWaitCursor();
    CheckSigners();
    EndWaitCursor();
  }
  return level == CAPICOM_VERIFY_SIGNATURE_ONLY ? m_verified : m_sound;
}

LONG CSummarySheet::GetConfiguredLevel() {
  COfficeTolvexConfig config;
  config.LoadOfficeOptions();
  config.LoadGeneralOptions();
  config.LoadOperationOptions();
  return config.VerifySignatureOnly ? CAPICOM_VERIFY_SIGNATURE_ONLY : CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE;
}

void CSummarySheet::GetSignedContent(CSignedContent& content) {
  content.m_Signatures.clear();
  for (const CSummarySigner& signer : GetVerifiedSigners(GetConfiguredLevel())) content.m_Signatures.push_back(signer.m_firstSignature);
  // The dialog gets the first block already opened (and cut to its length), which the signatures sign.
  content.m_Body = m_firstContent;
  content.m_bEncrypted = false;
  content.m_ContentKey.Free(true);
  if (m_pFile) {
    content.m_nAlgorithm = m_pFile->m_info.m_body.m_nested.m_bCipherIndex;
    content.m_nKeyLength = m_pFile->m_info.m_body.m_nested.m_bKeyLengthIndex;
    content.m_nFormatVersion = m_pFile->m_info.m_abFormat[3];
  }
}

void CSummarySheet::ShowCertificateDetails() {
  CSignedContent content;
  GetSignedContent(content);
  CCertDetailsDlg dialog(this);
  dialog.m_pContent = &content;
  dialog.DoModal();
}

int CSummarySheet::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  if (CBaseSheet::OnCreate(lpCreateStruct) == -1) return -1;
  ZoomOpen(m_rcOrigin, this, lpCreateStruct, m_bOwnAnimation != 0);
  if (!m_pFile) LoadProtectedFile();
  return 0;
}

void CSummarySheet::OnDestroy() {
  CBaseSheet::OnDestroy();
  ZoomClose(m_rcOrigin, this, m_bOwnAnimation != 0);
}

BOOL CSummarySheet::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  BOOL handled = CBaseSheet::OnNotify(wParam, lParam, pResult);
  // The tabs tell of a change before the new page is the active one: the banner follows it once it is.
  if (reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(TCN_SELCHANGE)) PostMessage(WM_APP + 0x3E1);
  return handled;
}

LRESULT CSummarySheet::OnPageShown(WPARAM, LPARAM) {
  UpdateHeader();
  return 0;
}

void CSummarySheet::OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized) {
  CBaseSheet::OnActivate(nState, pWndOther, bMinimized);
  if (m_pFile) m_bSigned = m_pFile->m_info.m_signing.m_bPresent;
  // An unsigned file has nothing for the list pages: the main page stays alone.
  if (m_bSigned == 0 && (nState & 1) && !m_bPagesRemoved) {
    m_bPagesRemoved = true;
    for (int i = GetPageCount() - 1; i > 0; --i) RemovePage(i);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// The mail summary sheet
// ---------------------------------------------------------------------------------------------------------------

CMailSummarySheet::CMailSummarySheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CSummarySheet(caption, pParentWnd, selectPage) {
  while (GetPageCount() > 0) RemovePage(0);
  AddPages();
  m_pFile = nullptr;
  m_bOwnAnimation = 0;
  m_bHosted = 0;
  EnableHeader(TRUE);
}

CMailSummarySheet::~CMailSummarySheet() = default;

BOOL CMailSummarySheet::AddPages() {
  if (GetPageCount() > 0) return TRUE;
  AddSummaryPages({{&m_pageMailMain, 141, 5315, 5317}, {&m_pageSign, 1918, 5316, 5295}, {&m_pageGen, 143, 5293, 5296}});
  return TRUE;
}
