// The platform's certificate enrolment control, held for its users: it generates a key pair in a provider,
// writes a PKCS#10 request and installs the issued certificate. The wrapper has no operations of its own; its
// users call the control through the held interface and check each result themselves.
#pragma once

#include "engine/CapicomObject.h"
#include "platform/cryptoapi/enroll.h"

class CCertEnroll : public CCapicomObject {
  KX_CAPICOM_HELD(CCertEnroll, ICEnroll3)

 public:
  // Creates the control; a failure leaves as an engine error with its result code.
  CCertEnroll();
  explicit CCertEnroll(kx::engine::EmptyTag) {}
};
