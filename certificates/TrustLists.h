// The trust lists of the strict trust policy and the replacement of the trusted roots.
//
// The lists are PKCS#7 certificate bundles in the user's one-click folder: "JITC_TrustPoints.p7b" (the trust
// points), "JITC.p7b" (the roots of the strict policy) and "TrustBackup.p7b" (the roots kept while the strict
// policy is on). They are always written whole, through a temporary file, so a failed write leaves the old one.
//
// Replacing the trusted roots never leaves the user without them: write access to the machine's "Root" store
// is checked before anything is removed, and when a removal or an addition fails every removed certificate is
// put back and the added ones taken out again.
#pragma once

#include <vector>

#include "core/ByteBuffer.h"
#include "engine/CapicomCertificate.h"
#include "platform/mfc/cstring.h"

class CCapicomStore;

namespace certmgr {

// The value OneClickFolder of the user's "Software\Kesmora\OfficeTolvex\OneClickManager"; empty when missing.
CString GetOneClickFolder();
// Makes the folder and any missing folder above it; true when it is there.
bool MakeFolder(const CString& folder);
// folder + one separator + name (a folder given with or without its trailing separator).
CString TrustFilePath(const CString& folder, const char* name);
// The whole file; false when it cannot be read.
bool ReadWholeFile(const CString& path, CByteBuffer& out);
// Writes the whole buffer through a temporary file in the same folder; the old file stays on failure.
bool WriteWholeFile(const CString& path, const CByteBuffer& bytes);
// The store's certificates as a PKCS#7 bundle, binary.
bool ExportBundle(const CCapicomStore& store, CByteBuffer& out);
// The certificates of a bundle, in bundle order; false when the bytes are not a bundle or certificate.
bool ReadBundle(const CByteBuffer& bytes, std::vector<CCapicomCertificate>& out);
// The certificates of a store, in store order.
std::vector<CCapicomCertificate> StoreCertificates(const CCapicomStore& store);

enum class RootSwap {
  Done,
  NotOpened,     // the user's "Root" store could not be opened
  AccessDenied,  // the machine's "Root" cannot be written: nothing was changed
  RemoveFailed,  // a certificate could not be removed: everything was put back
  AddFailed,     // a new root could not be installed: everything was put back
};

// Removes every trusted root of the user and the machine and installs the new roots into the machine's
// "Root" store.
RootSwap ReplaceTrustedRoots(const std::vector<CCapicomCertificate>& newRoots);

inline constexpr const char* kTrustPointsFile = "JITC_TrustPoints.p7b";
inline constexpr const char* kStrictRootsFile = "JITC.p7b";
inline constexpr const char* kTrustBackupFile = "TrustBackup.p7b";

}  // namespace certmgr
