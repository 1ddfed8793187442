// PE image layout as far as Authenticode needs it: where the checksum, the certificate-table directory
// entry and the certificate table are, with every offset and size checked against the file.
#pragma once

#include <openssl/types.h>

#include <cstdint>
#include <string>

#include "platform/capicom/signedcode/der.h"
#include "platform/win32/types.h"

namespace kxsc {

struct PeLayout {
  bool pe64 = false;                // optional header magic 0x20B
  uint32_t checksumOffset = 0;      // file offset of the optional header's CheckSum
  uint32_t certEntryOffset = 0;     // file offset of data directory 4; 0 when the image has fewer directories
  uint32_t headersEnd = 0;          // SizeOfHeaders
  uint32_t sectionsEnd = 0;         // end of the last section's raw data (at least headersEnd)
  uint32_t certOffset = 0;          // certificate table; both 0 when the image carries none
  uint32_t certSize = 0;
  bool Signed() const { return certSize != 0; }
};

// Checks the image and finds its layout. Anything that is not a well-formed PE image (no MZ or PE header,
// unknown optional header, sizes that do not add up, sections overlapping each other or the headers, a
// certificate table outside the file, misplaced, or followed by other data) gives
// TRUST_E_SUBJECT_FORM_UNKNOWN with the reason in *detail.
HRESULT ParsePe(const Bytes& image, PeLayout* layout, std::string* detail);

// The optional header's checksum of the image as it stands (the stored checksum counts as zero).
uint32_t PeChecksum(const Bytes& image, uint32_t checksumOffset);

// Authenticode image digest: the whole file up to the certificate table, without the checksum and the
// certificate-table directory entry.
bool ImageDigest(const Bytes& image, const PeLayout& layout, const EVP_MD* md, Bytes* digest);

// The first PKCS#7 signature of the certificate table (the DER of its ContentInfo, without padding).
// TRUST_E_NOSIGNATURE when the image carries none; TRUST_E_SUBJECT_FORM_UNKNOWN for a malformed table.
HRESULT ReadSignatureBlob(const Bytes& image, const PeLayout& layout, Bytes* pkcs7, std::string* detail);

// Removes the certificate table (the image must be parsed and the table last) and clears the entry.
void StripCertificateTable(Bytes& image, PeLayout& layout);

// Pads the image with zeros to a multiple of 8 bytes, where a certificate table has to start.
void PadForCertificateTable(Bytes& image);

// Appends the signature as the only WIN_CERTIFICATE (revision 0x0200, PKCS_SIGNED_DATA, 8-byte aligned),
// points the directory entry at it and recomputes the checksum. The image must carry no table and be padded.
void AppendCertificateTable(Bytes& image, PeLayout& layout, const Bytes& pkcs7);

}  // namespace kxsc
