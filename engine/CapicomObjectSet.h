// One working object of each main engine class, made together when a page or a wizard's run first needs
// them and kept for as long as their owner lives. Always made on the heap by its owner, which deletes it.
#pragma once

#include "engine/CapicomEncryptedData.h"
#include "engine/CapicomEnvelopedData.h"
#include "engine/CapicomSettings.h"
#include "engine/CapicomSignedCode.h"
#include "engine/CapicomSignedData.h"
#include "engine/CapicomStore.h"

class CCapicomObjectSet {
 public:
  // Each member makes its engine object, in this order; when one cannot be made its error leaves the
  // constructor and the members made before it are released again.
  CCapicomObjectSet() = default;
  virtual ~CCapicomObjectSet() = default;
  CCapicomObjectSet(const CCapicomObjectSet&) = delete;
  CCapicomObjectSet& operator=(const CCapicomObjectSet&) = delete;

  CCapicomSettings m_Settings;
  CCapicomCertificate m_Certificate;
  CCapicomStore m_Store;
  CCapicomEncryptedData m_EncryptedData;
  CCapicomEnvelopedData m_EnvelopedData;
  CCapicomSignedData m_SignedData;
  CCapicomSignedCode m_SignedCode;
};
