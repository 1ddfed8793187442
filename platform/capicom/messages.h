// Interfaces of the certificate engine's message objects: signers, signed data, enveloped data and
// password-encrypted data. Objects are made with CoCreateInstance by the class identifiers of capicom_defs.h.
// Binary content and messages travel as BSTRs whose byte length is the data's length; messages going in may
// also be base64 text.
#pragma once

#include "platform/capicom/capicom.h"

struct ISigner : IDispatch {
  // Null when no certificate was set.
  STDMETHOD(get_Certificate)(ICertificate** pVal) = 0;
  STDMETHOD(put_Certificate)(ICertificate* newVal) = 0;
  // CAPICOM_CERTIFICATE_INCLUDE_OPTION; a new signer includes the chain without its root.
  STDMETHOD(get_Options)(LONG* pVal) = 0;
  STDMETHOD(put_Options)(LONG newVal) = 0;
  // The signer's own collection: what is added to it is signed with the content.
  STDMETHOD(get_AuthenticatedAttributes)(IAttributes** pVal) = 0;
};

struct ISigner2 : ISigner {
  // The chain built when the message was verified, else one built now.
  STDMETHOD(get_Chain)(IChain** pVal) = 0;
  // Takes the certificate and key of a PFX file for this signer (nothing is stored).
  STDMETHOD(Load)(BSTR fileName, BSTR password) = 0;
};

struct ISigners : IDispatch {
  // Items count from 1; the VARIANT holds the signer's IDispatch.
  STDMETHOD(get_Item)(LONG index, VARIANT* pVal) = 0;
  STDMETHOD(get_Count)(LONG* pVal) = 0;
};

struct IRecipients : IDispatch {
  // Items count from 1; the VARIANT holds the certificate's IDispatch.
  STDMETHOD(get_Item)(LONG index, VARIANT* pVal) = 0;
  STDMETHOD(get_Count)(LONG* pVal) = 0;
  STDMETHOD(Add)(ICertificate* certificate) = 0;
  STDMETHOD(Remove)(LONG index) = 0;
  STDMETHOD(Clear)() = 0;
};

struct ISignedData : IDispatch {
  STDMETHOD(put_Content)(BSTR newVal) = 0;
  // Null when there is no content.
  STDMETHOD(get_Content)(BSTR* pVal) = 0;
  // The signers and certificates of the last message signed or verified.
  STDMETHOD(get_Signers)(ISigners** pVal) = 0;
  STDMETHOD(get_Certificates)(ICertificates** pVal) = 0;
  STDMETHOD(Sign)(ISigner* signer, VARIANT_BOOL detached, LONG encoding, BSTR* pVal) = 0;
  // Adds a signer to the last message signed or verified.
  STDMETHOD(CoSign)(ISigner* signer, LONG encoding, BSTR* pVal) = 0;
  // CAPICOM_SIGNED_DATA_VERIFY_FLAG. A detached message is verified against the content put before.
  STDMETHOD(Verify)(BSTR signedMessage, VARIANT_BOOL detached, LONG verifyFlag) = 0;
};

struct IEnvelopedData : IDispatch {
  STDMETHOD(put_Content)(BSTR newVal) = 0;
  STDMETHOD(get_Content)(BSTR* pVal) = 0;
  // Shared with the object: setting its name or key length changes the cipher of the next Encrypt.
  STDMETHOD(get_Algorithm)(IAlgorithm** pVal) = 0;
  STDMETHOD(get_Recipients)(IRecipients** pVal) = 0;
  STDMETHOD(Encrypt)(LONG encoding, BSTR* pVal) = 0;
  // Opens the message with the private key of a recipient found in the user's "My" store.
  STDMETHOD(Decrypt)(BSTR envelopedMessage) = 0;
};

struct IEncryptedData : IDispatch {
  STDMETHOD(put_Content)(BSTR newVal) = 0;
  STDMETHOD(get_Content)(BSTR* pVal) = 0;
  STDMETHOD(get_Algorithm)(IAlgorithm** pVal) = 0;
  // CAPICOM_SECRET_TYPE; the secret's bytes (its byte length) are the password.
  STDMETHOD(SetSecret)(BSTR secret, LONG secretType) = 0;
  STDMETHOD(Encrypt)(LONG encoding, BSTR* pVal) = 0;
  STDMETHOD(Decrypt)(BSTR encryptedMessage) = 0;
};

KX_DEFINE_IID(ISigner, "D1AFA7F4-1C4C-4BA0-9989-507678F1A565");
KX_DEFINE_IID(ISigner2, "EF16A2A7-7A58-4E3C-B631-181DD7E30857");
KX_DEFINE_IID(ISigners, "C20D2273-63F2-40B3-BB82-38ABC2FFDBB7");
KX_DEFINE_IID(IRecipients, "2327BEB7-8DCA-493C-90CE-1FF2388DAFCC");
KX_DEFINE_IID(ISignedData, "AE9C454B-FC65-4C10-B130-CD9B45BA948B");
KX_DEFINE_IID(IEnvelopedData, "F6CB6A20-CC18-4424-AE57-6F2AA3DC2059");
KX_DEFINE_IID(IEncryptedData, "C4778A66-972F-42E4-87C5-5CC16F7931CA");

_COM_SMARTPTR_TYPEDEF(ISigner, IID_ISigner);
_COM_SMARTPTR_TYPEDEF(ISigner2, IID_ISigner2);
_COM_SMARTPTR_TYPEDEF(ISigners, IID_ISigners);
_COM_SMARTPTR_TYPEDEF(IRecipients, IID_IRecipients);
_COM_SMARTPTR_TYPEDEF(ISignedData, IID_ISignedData);
_COM_SMARTPTR_TYPEDEF(IEnvelopedData, IID_IEnvelopedData);
_COM_SMARTPTR_TYPEDEF(IEncryptedData, IID_IEncryptedData);
