// Classes installed with the platform: the certificate engine's objects, served by its module.
#include "platform/capicom/capicom_defs.h"
#include "platform/com/guid.h"

namespace kx {

struct InstalledClass {
  GUID clsid;
  const char* module;
};

extern const InstalledClass kInstalledClasses[] = {
    {CLSID_Certificates, CAPICOM_MODULE_NAME},   {CLSID_Certificate, CAPICOM_MODULE_NAME},
    {CLSID_Store, CAPICOM_MODULE_NAME},          {CLSID_CertificateStatus, CAPICOM_MODULE_NAME},
    {CLSID_Algorithm, CAPICOM_MODULE_NAME},      {CLSID_Attribute, CAPICOM_MODULE_NAME},
    {CLSID_Attributes, CAPICOM_MODULE_NAME},     {CLSID_KeyUsage, CAPICOM_MODULE_NAME},
    {CLSID_ExtendedKeyUsage, CAPICOM_MODULE_NAME}, {CLSID_EKU, CAPICOM_MODULE_NAME},
    {CLSID_EKUs, CAPICOM_MODULE_NAME},           {CLSID_BasicConstraints, CAPICOM_MODULE_NAME},
    {CLSID_Settings, CAPICOM_MODULE_NAME},       {CLSID_OID, CAPICOM_MODULE_NAME},
    {CLSID_OIDs, CAPICOM_MODULE_NAME},           {CLSID_SignedData, CAPICOM_MODULE_NAME},
    {CLSID_EnvelopedData, CAPICOM_MODULE_NAME},  {CLSID_EncryptedData, CAPICOM_MODULE_NAME},
    {CLSID_SignedCode, CAPICOM_MODULE_NAME},     {CLSID_Signer, CAPICOM_MODULE_NAME},
    {CLSID_Signers, CAPICOM_MODULE_NAME},        {CLSID_Recipients, CAPICOM_MODULE_NAME},
    {CLSID_Chain, CAPICOM_MODULE_NAME},          {CLSID_Utilities, CAPICOM_MODULE_NAME},
};

extern const size_t kInstalledClassCount = sizeof(kInstalledClasses) / sizeof(kInstalledClasses[0]);

}  // namespace kx
