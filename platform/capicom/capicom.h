// Interfaces of the certificate engine's objects (certificates, stores, status, chains, extensions, keys,
// settings, identifiers, attributes, algorithms, utilities). Objects are made with CoCreateInstance by the class
// identifiers of capicom_defs.h; every interface is a dual interface whose IDispatch half answers E_NOTIMPL.
// The message objects (signed, enveloped and encrypted data, signers, recipients) and signed code have
// headers of their own.
#pragma once

#include "platform/capicom/capicom_defs.h"
#include "platform/com/com.h"

struct ICertificateStatus;
struct ICertificateStatus2;
struct IKeyUsage;
struct IExtendedKeyUsage;
struct IBasicConstraints;
struct ITemplate;
struct IPublicKey;
struct IPrivateKey;
struct IExtensions;
struct IExtendedProperties;
struct IEKU;
struct IEKUs;
struct IOID;
struct IOIDs;
struct IEncodedData;
struct ICertificates;

struct ICertificate : IDispatch {
  STDMETHOD(get_Version)(LONG* pVal) = 0;
  STDMETHOD(get_SerialNumber)(BSTR* pVal) = 0;
  STDMETHOD(get_SubjectName)(BSTR* pVal) = 0;
  STDMETHOD(get_IssuerName)(BSTR* pVal) = 0;
  STDMETHOD(get_ValidFromDate)(DATE* pVal) = 0;
  STDMETHOD(get_ValidToDate)(DATE* pVal) = 0;
  STDMETHOD(get_Thumbprint)(BSTR* pVal) = 0;
  STDMETHOD(HasPrivateKey)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(GetInfo)(LONG infoType, BSTR* pVal) = 0;
  STDMETHOD(IsValid)(ICertificateStatus** pVal) = 0;
  STDMETHOD(KeyUsage)(IKeyUsage** pVal) = 0;
  STDMETHOD(ExtendedKeyUsage)(IExtendedKeyUsage** pVal) = 0;
  STDMETHOD(BasicConstraints)(IBasicConstraints** pVal) = 0;
  // Encoding 0: base64 text; 1: the DER bytes as a BSTR of that byte length.
  STDMETHOD(Export)(LONG encoding, BSTR* pVal) = 0;
  // DER bytes, or PEM or base64 text.
  STDMETHOD(Import)(BSTR encodedCertificate) = 0;
  STDMETHOD(Display)() = 0;
};

struct ICertificate2 : ICertificate {
  STDMETHOD(get_Archived)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(put_Archived)(VARIANT_BOOL newVal) = 0;
  STDMETHOD(Template)(ITemplate** pVal) = 0;
  STDMETHOD(PublicKey)(IPublicKey** pVal) = 0;
  STDMETHOD(get_PrivateKey)(IPrivateKey** pVal) = 0;
  STDMETHOD(put_PrivateKey)(IPrivateKey* newVal) = 0;
  STDMETHOD(Extensions)(IExtensions** pVal) = 0;
  STDMETHOD(ExtendedProperties)(IExtendedProperties** pVal) = 0;
  // A PFX file (its key goes to a key container of the user or the machine) or a certificate file.
  STDMETHOD(Load)(BSTR fileName, BSTR password, LONG keyStorageFlag, LONG keyLocation) = 0;
  STDMETHOD(Save)(BSTR fileName, BSTR password, LONG saveAs, LONG includeOption) = 0;
};

struct ICertificates : IDispatch {
  // Items count from 1; the VARIANT holds the certificate's IDispatch.
  STDMETHOD(get_Item)(LONG index, VARIANT* pVal) = 0;
  STDMETHOD(get_Count)(LONG* pVal) = 0;
};

struct ICertificates2 : ICertificates {
  STDMETHOD(Add)(ICertificate2* certificate) = 0;
  STDMETHOD(Remove)(LONG index) = 0;
  STDMETHOD(Clear)() = 0;
};

struct IStore : IDispatch {
  STDMETHOD(get_Certificates)(ICertificates** pVal) = 0;
  STDMETHOD(Open)(LONG storeLocation, BSTR storeName, LONG openMode) = 0;
  STDMETHOD(Add)(ICertificate* certificate) = 0;
  STDMETHOD(Remove)(ICertificate* certificate) = 0;
  STDMETHOD(Export)(LONG saveAs, LONG encoding, BSTR* pVal) = 0;
  STDMETHOD(Import)(BSTR encodedStore) = 0;
};

struct IStore2 : IStore {
  STDMETHOD(Load)(BSTR fileName, BSTR password, LONG keyStorageFlag) = 0;
};

struct ICertificateStatus : IDispatch {
  STDMETHOD(get_Result)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_CheckFlag)(LONG* pVal) = 0;
  STDMETHOD(put_CheckFlag)(LONG newVal) = 0;
  STDMETHOD(EKU)(IEKU** pVal) = 0;
};

struct ICertificateStatus2 : ICertificateStatus {
  STDMETHOD(get_VerificationTime)(DATE* pVal) = 0;
  STDMETHOD(put_VerificationTime)(DATE newVal) = 0;
  STDMETHOD(get_UrlRetrievalTimeout)(LONG* pVal) = 0;
  STDMETHOD(put_UrlRetrievalTimeout)(LONG newVal) = 0;
};

struct IChain : IDispatch {
  STDMETHOD(get_Certificates)(ICertificates** pVal) = 0;
  // Index 0: the whole chain; 1 to the count: one certificate, 1 being the one the chain was built for.
  STDMETHOD(get_Status)(LONG index, LONG* pVal) = 0;
  STDMETHOD(Build)(ICertificate* certificate, VARIANT_BOOL* pVal) = 0;
};

struct IChain2 : IChain {
  STDMETHOD(ExtendedErrorInfo)(LONG index, BSTR* pVal) = 0;
};

struct IKeyUsage : IDispatch {
  STDMETHOD(get_IsPresent)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_IsCritical)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_IsDigitalSignatureEnabled)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_IsNonRepudiationEnabled)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_IsKeyEnciphermentEnabled)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_IsDataEnciphermentEnabled)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_IsKeyAgreementEnabled)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_IsKeyCertSignEnabled)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_IsCRLSignEnabled)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_IsEncipherOnlyEnabled)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_IsDecipherOnlyEnabled)(VARIANT_BOOL* pVal) = 0;
};

struct IExtendedKeyUsage : IDispatch {
  STDMETHOD(get_IsPresent)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_IsCritical)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_EKUs)(IEKUs** pVal) = 0;
};

struct IEKU : IDispatch {
  STDMETHOD(get_Name)(LONG* pVal) = 0;
  STDMETHOD(put_Name)(LONG newVal) = 0;
  STDMETHOD(get_OID)(BSTR* pVal) = 0;
  STDMETHOD(put_OID)(BSTR newVal) = 0;
};

struct IEKUs : IDispatch {
  STDMETHOD(get_Item)(LONG index, VARIANT* pVal) = 0;
  STDMETHOD(get_Count)(LONG* pVal) = 0;
};

struct IBasicConstraints : IDispatch {
  STDMETHOD(get_IsPresent)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_IsCritical)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_IsCertificateAuthority)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_IsPathLenConstraintPresent)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_PathLenConstraint)(LONG* pVal) = 0;
};

struct IEncodedData : IDispatch {
  STDMETHOD(get_Value)(LONG encoding, BSTR* pVal) = 0;
  // The value as readable text, on one line or several.
  STDMETHOD(Format)(VARIANT_BOOL multiLine, BSTR* pVal) = 0;
};

struct IOID : IDispatch {
  STDMETHOD(get_Name)(LONG* pVal) = 0;
  STDMETHOD(put_Name)(LONG newVal) = 0;
  STDMETHOD(get_FriendlyName)(BSTR* pVal) = 0;
  STDMETHOD(put_FriendlyName)(BSTR newVal) = 0;
  STDMETHOD(get_Value)(BSTR* pVal) = 0;
  STDMETHOD(put_Value)(BSTR newVal) = 0;
};

struct IOIDs : IDispatch {
  // The index is a number counted from 1 or an identifier in dotted form.
  STDMETHOD(get_Item)(VARIANT index, VARIANT* pVal) = 0;
  STDMETHOD(get_Count)(LONG* pVal) = 0;
  STDMETHOD(Add)(IOID* oid) = 0;
  STDMETHOD(Remove)(VARIANT index) = 0;
  STDMETHOD(Clear)() = 0;
};

struct IExtension : IDispatch {
  STDMETHOD(get_OID)(IOID** pVal) = 0;
  STDMETHOD(get_IsCritical)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_EncodedData)(IEncodedData** pVal) = 0;
};

struct IExtensions : IDispatch {
  // The index is a number counted from 1 or an identifier in dotted form.
  STDMETHOD(get_Item)(VARIANT index, VARIANT* pVal) = 0;
  STDMETHOD(get_Count)(LONG* pVal) = 0;
};

struct IExtendedProperty : IDispatch {
  STDMETHOD(get_PropID)(LONG* pVal) = 0;
  STDMETHOD(get_Value)(LONG encoding, BSTR* pVal) = 0;
};

struct IExtendedProperties : IDispatch {
  // By property identifier.
  STDMETHOD(get_Item)(LONG propId, VARIANT* pVal) = 0;
  STDMETHOD(get_Count)(LONG* pVal) = 0;
};

struct ITemplate : IDispatch {
  STDMETHOD(get_IsPresent)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_IsCritical)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(get_Name)(BSTR* pVal) = 0;
  STDMETHOD(get_OID)(IOID** pVal) = 0;
  STDMETHOD(get_MajorVersion)(LONG* pVal) = 0;
  STDMETHOD(get_MinorVersion)(LONG* pVal) = 0;
};

struct IPublicKey : IDispatch {
  STDMETHOD(get_Algorithm)(IOID** pVal) = 0;
  STDMETHOD(get_Length)(LONG* pVal) = 0;
  STDMETHOD(get_EncodedKey)(IEncodedData** pVal) = 0;
  STDMETHOD(get_EncodedParameters)(IEncodedData** pVal) = 0;
};

struct IPrivateKey : IDispatch {
  STDMETHOD(get_ContainerName)(BSTR* pVal) = 0;
  STDMETHOD(get_UniqueContainerName)(BSTR* pVal) = 0;
  STDMETHOD(get_ProviderName)(BSTR* pVal) = 0;
  STDMETHOD(get_ProviderType)(LONG* pVal) = 0;
  STDMETHOD(get_KeySpec)(LONG* pVal) = 0;
  STDMETHOD(IsAccessible)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(IsProtected)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(IsExportable)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(IsRemovable)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(IsMachineKeyset)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(IsHardwareDevice)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(Open)(BSTR containerName, BSTR providerName, LONG providerType, LONG keySpec, LONG storeLocation,
                  VARIANT_BOOL checkExistence) = 0;
  STDMETHOD(Delete)() = 0;
};

struct ISettings : IDispatch {
  STDMETHOD(get_EnablePromptForCertificateUI)(VARIANT_BOOL* pVal) = 0;
  STDMETHOD(put_EnablePromptForCertificateUI)(VARIANT_BOOL newVal) = 0;
  STDMETHOD(get_ActiveDirectorySearchLocation)(LONG* pVal) = 0;
  STDMETHOD(put_ActiveDirectorySearchLocation)(LONG newVal) = 0;
};

struct IAttribute : IDispatch {
  STDMETHOD(get_Name)(LONG* pVal) = 0;
  STDMETHOD(put_Name)(LONG newVal) = 0;
  STDMETHOD(get_Value)(VARIANT* pVal) = 0;
  STDMETHOD(put_Value)(VARIANT newVal) = 0;
};

struct IAttributes : IDispatch {
  STDMETHOD(get_Item)(LONG index, VARIANT* pVal) = 0;
  STDMETHOD(get_Count)(LONG* pVal) = 0;
  // Adds a copy of the attribute as it is now.
  STDMETHOD(Add)(IAttribute* attribute) = 0;
  STDMETHOD(Remove)(LONG index) = 0;
  STDMETHOD(Clear)() = 0;
};

struct IAlgorithm : IDispatch {
  STDMETHOD(get_Name)(LONG* pVal) = 0;
  STDMETHOD(put_Name)(LONG newVal) = 0;
  STDMETHOD(get_KeyLength)(LONG* pVal) = 0;
  STDMETHOD(put_KeyLength)(LONG newVal) = 0;
};

struct IUtilities : IDispatch {
  STDMETHOD(GetRandom)(LONG length, LONG encoding, BSTR* pVal) = 0;
  STDMETHOD(Base64Encode)(BSTR binaryString, BSTR* pVal) = 0;
  STDMETHOD(Base64Decode)(BSTR text, BSTR* pVal) = 0;
  STDMETHOD(BinaryToHex)(BSTR binaryString, BSTR* pVal) = 0;
  STDMETHOD(HexToBinary)(BSTR hex, BSTR* pVal) = 0;
  // The BSTR's bytes as a one-dimensional VT_UI1 array, and back.
  STDMETHOD(BinaryStringToByteArray)(BSTR binaryString, VARIANT* pVal) = 0;
  STDMETHOD(ByteArrayToBinaryString)(VARIANT byteArray, BSTR* pVal) = 0;
  STDMETHOD(LocalTimeToUTCTime)(DATE localTime, DATE* pVal) = 0;
  STDMETHOD(UTCTimeToLocalTime)(DATE utcTime, DATE* pVal) = 0;
};

KX_DEFINE_IID(ICertificate, "4F711EB1-3FD0-4920-A730-B0FA5ACB513D");
KX_DEFINE_IID(ICertificate2, "91C16BFA-6948-477E-8CA5-BDD71A021C31");
KX_DEFINE_IID(ICertificates, "ADB8864D-2C0C-4164-AA16-827D1103CF8E");
KX_DEFINE_IID(ICertificates2, "7B57C04B-1786-4B30-A7B6-36235CD58A14");
KX_DEFINE_IID(IStore, "F971B5D9-AD7C-4713-A94D-E1E408DD0E1F");
KX_DEFINE_IID(IStore2, "2D6CC320-DBF2-4238-9986-AEE1FFE60D93");
KX_DEFINE_IID(ICertificateStatus, "CF8CA086-C477-49DE-9341-1D39F4923C16");
KX_DEFINE_IID(ICertificateStatus2, "10DCEF80-BB20-4AC0-A4EE-9B7FF78D9D39");
KX_DEFINE_IID(IChain, "D83982D9-45DF-4ABA-82B1-233DDDE2AA3E");
KX_DEFINE_IID(IChain2, "7698C517-D016-4338-A7AD-1490FFDF19F9");
KX_DEFINE_IID(IKeyUsage, "E1560EAB-4442-4935-9C03-36E553A7294C");
KX_DEFINE_IID(IExtendedKeyUsage, "7B0456AB-A274-4537-BDD8-C67CB45227CB");
KX_DEFINE_IID(IEKU, "E5837C3E-FC81-41DF-A4C8-B0F9BDBBCE95");
KX_DEFINE_IID(IEKUs, "A2F85A54-DFEE-41F2-B69B-8AB4FF5F8D55");
KX_DEFINE_IID(IBasicConstraints, "146DD388-0532-44FC-B6CC-B8CEAA4C48A0");
KX_DEFINE_IID(IEncodedData, "AA5B29F5-E0FD-4EC3-843E-6430BB9D50C6");
KX_DEFINE_IID(IOID, "F8C37120-744A-4277-8033-DDBDCD65F13B");
KX_DEFINE_IID(IOIDs, "7643C4BD-977B-474C-8178-677CFF0BA2EE");
KX_DEFINE_IID(IExtension, "CAAFDCDD-EA38-463E-8759-665AC42B8AE6");
KX_DEFINE_IID(IExtensions, "13E25104-711E-45FB-8A0B-1F19F9E2EF58");
KX_DEFINE_IID(IExtendedProperty, "8F4BDA93-8C1E-4AC1-A412-1FA71F6334B0");
KX_DEFINE_IID(IExtendedProperties, "E934968B-B7BF-4DA1-80E5-2894375D2AFF");
KX_DEFINE_IID(ITemplate, "98F065AD-F89E-4983-BF5A-15993637A684");
KX_DEFINE_IID(IPublicKey, "D74B2DFC-8725-41B0-8252-911E4CED09D8");
KX_DEFINE_IID(IPrivateKey, "5CE4C537-D31C-4410-8E23-375A7FE39C22");
KX_DEFINE_IID(ISettings, "8592267E-9E02-443C-931C-0C123731E0A8");
KX_DEFINE_IID(IAttribute, "41C57FB5-B7E4-4E37-A777-D176BE80F3EF");
KX_DEFINE_IID(IAttributes, "464B4E15-3408-46FB-A50C-F7617203EDB7");
KX_DEFINE_IID(IAlgorithm, "C6AD8554-7573-4F78-9E2E-FA08461D3E3C");
KX_DEFINE_IID(IUtilities, "EB166CF6-2AE6-44DA-BD96-0C1635D183FE");

_COM_SMARTPTR_TYPEDEF(ICertificate, IID_ICertificate);
_COM_SMARTPTR_TYPEDEF(ICertificate2, IID_ICertificate2);
_COM_SMARTPTR_TYPEDEF(ICertificates, IID_ICertificates);
_COM_SMARTPTR_TYPEDEF(ICertificates2, IID_ICertificates2);
_COM_SMARTPTR_TYPEDEF(IStore, IID_IStore);
_COM_SMARTPTR_TYPEDEF(IStore2, IID_IStore2);
_COM_SMARTPTR_TYPEDEF(ICertificateStatus, IID_ICertificateStatus);
_COM_SMARTPTR_TYPEDEF(ICertificateStatus2, IID_ICertificateStatus2);
_COM_SMARTPTR_TYPEDEF(IChain, IID_IChain);
_COM_SMARTPTR_TYPEDEF(IChain2, IID_IChain2);
_COM_SMARTPTR_TYPEDEF(IKeyUsage, IID_IKeyUsage);
_COM_SMARTPTR_TYPEDEF(IExtendedKeyUsage, IID_IExtendedKeyUsage);
_COM_SMARTPTR_TYPEDEF(IEKU, IID_IEKU);
_COM_SMARTPTR_TYPEDEF(IEKUs, IID_IEKUs);
_COM_SMARTPTR_TYPEDEF(IBasicConstraints, IID_IBasicConstraints);
_COM_SMARTPTR_TYPEDEF(IEncodedData, IID_IEncodedData);
_COM_SMARTPTR_TYPEDEF(IOID, IID_IOID);
_COM_SMARTPTR_TYPEDEF(IOIDs, IID_IOIDs);
_COM_SMARTPTR_TYPEDEF(IExtension, IID_IExtension);
_COM_SMARTPTR_TYPEDEF(IExtensions, IID_IExtensions);
_COM_SMARTPTR_TYPEDEF(IExtendedProperty, IID_IExtendedProperty);
_COM_SMARTPTR_TYPEDEF(IExtendedProperties, IID_IExtendedProperties);
_COM_SMARTPTR_TYPEDEF(ITemplate, IID_ITemplate);
_COM_SMARTPTR_TYPEDEF(IPublicKey, IID_IPublicKey);
_COM_SMARTPTR_TYPEDEF(IPrivateKey, IID_IPrivateKey);
_COM_SMARTPTR_TYPEDEF(ISettings, IID_ISettings);
_COM_SMARTPTR_TYPEDEF(IAttribute, IID_IAttribute);
_COM_SMARTPTR_TYPEDEF(IAttributes, IID_IAttributes);
_COM_SMARTPTR_TYPEDEF(IAlgorithm, IID_IAlgorithm);
_COM_SMARTPTR_TYPEDEF(IUtilities, IID_IUtilities);

// Properties of ExtendedProperties.Item.
enum CAPICOM_PROPID {
  CAPICOM_PROPID_KEY_PROV_INFO = 2,
  CAPICOM_PROPID_SHA1_HASH = 3,
  CAPICOM_PROPID_FRIENDLY_NAME = 11,
  CAPICOM_PROPID_ARCHIVED = 19,
};
