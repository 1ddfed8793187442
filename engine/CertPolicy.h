// Whether a certificate may be used: the engine's chain check under the certificate manager's settings, the
// strict trust policy (the "DoD_JICT" switch: trust points, linked names, well-formed certificate authorities)
// and the revocation lists of the chain's authorities; and the look-up of a certificate by e-mail address.
//
// Stateless: make one on the stack for the calls. Every operation reads the settings, the trust-point file
// and the stores anew. Result texts come from the resource-string module.
#pragma once

#include "core/BstrString.h"
#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

class CCapicomCertificate;
class CCapicomChain;

class CCertPolicy {
 public:
  // ok: the verdict; message: the reason, or the success text. Engine errors of the chain build and the
  // strict checks pass to the caller; those of the status check end the call with ok false.
  void ValidateCertificate(const CCapicomCertificate& certificate, CBstrString& message, bool& ok) const;
  // The same, for callers that only show the message.
  void ValidateCertificate(const CCapicomCertificate& certificate, CBstrString& message) const;

  // In the trust-point list "JITC_TrustPoints.p7b" of the one-click folder (or the strict policy is off).
  bool IsTrustPoint(const CCapicomCertificate& certificate, CBstrString& message) const;
  // The trust-point test of the chain's top; false for an empty chain.
  bool CheckTopTrustPoint(const CCapicomChain& chain, CBstrString& message) const;
  // Each issuer name equals the subject name above it, ignoring case, blanks and line breaks.
  bool CheckChainNames(const CCapicomChain& chain, CBstrString& message) const;
  // A certificate authority by its basic constraints, whose key usage allows signing certificates and lists.
  bool CheckCaKeyUsage(const CCapicomCertificate& certificate, CBstrString& message) const;
  bool CheckChainKeyUsage(const CCapicomChain& chain, CBstrString& message) const;
  // Its policy constraints do not demand an explicit policy within fewer than depth certificates.
  bool CheckChainPolicy(const CCapicomCertificate& certificate, LONG depth, CBstrString& message) const;
  bool CheckChainPolicyConstraints(const CCapicomChain& chain, CBstrString& message) const;
  // Basic constraints present and saying certificate authority.
  bool CheckBasicConstraints(const CCapicomCertificate& certificate, CBstrString& message) const;
  bool CheckChainBasicConstraints(const CCapicomChain& chain, CBstrString& message) const;
  // Positions count from 1 (the checked certificate); depth is the chain's count - 1. chain is not used.
  bool CheckPathLength(const CCapicomCertificate& certificate, LONG depth, LONG position, const CCapicomChain& chain,
                       CBstrString& message) const;
  bool CheckChainPathLengths(const CCapicomChain& chain, CBstrString& message) const;
  // A current revocation list issued by the certificate, with a good signature, in the user's "Root" (the
  // top of the chain) or "CA" store, or in "My" where downloaded lists are kept. chain is not used.
  bool CheckRootCrl(const CCapicomCertificate& certificate, LONG depth, LONG position, const CCapicomChain& chain,
                    CBstrString& message) const;
  bool CheckChainCrls(const CCapicomChain& chain, CBstrString& message) const;

  // The certificate whose e-mail name is the address: in the user's "My" store (personal; equal to the
  // reference when one is given), else in the directory (when asked) and then the "AddressBook" store.
  // The out certificate is assigned only when one is found; no engine error leaves.
  bool FindCertificateByMail(const char* address, bool personal, CCapicomCertificate& certificate, bool directory,
                             const CCapicomCertificate* reference) const;
  // The certificate's subject e-mail name is not empty and equals the address, ASCII letters without regard
  // to case: the match the look-up uses.
  static bool MailMatches(const CCapicomCertificate& certificate, const char* address);
  // The text of a trust or certificate result code; false and an empty text for any other code.
  bool GetTrustErrorText(HRESULT code, CString& text) const;
};
