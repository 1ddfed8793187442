#include "engine/CapicomErrors.h"

#include <cstdio>
#include <string>

#include "platform/com/comutil.h"

namespace {

struct ErrorText {
  uint32_t code;
  const char* text;
};

constexpr const char* kDefaultText = "An internal error has occurred. Please call Kesmora Technical Support";

// The engine's own result codes; every other code gets the default text.
const ErrorText kTexts[] = {
    {0x80880100, "An invalid encoding type was used.\n\r The valid encoding types are Base 64 or Binary."},
    {0x80880200, "The OID property of the EKU object cannot be set because the Name property is not set to "
                 "CAPICOM_EKU_OTHER."},
    {0x80880201, "The OID value of the EKU object has not been initialized"},
    {0x80880210, "The Certificate object has not been initialized.\n\r Usually, this happens when a Certificate "
                 "object is instantiated, but somehow the object is not associated to a digital certificate. To "
                 "associate the object to a digital certificate, either assign it to an existing Certificate or "
                 "usethe Import method"},
    {0x80880211, "The Certificate does not have an associated private key."},
    {0x80880220, "The Chain object has not been initialized."},
    {0x80880230, "The Store object has not been initialized."},
    {0x80880231, "The Store object does not contain any Certificate objects."},
    {0x80880232, "The Store's open mode is invalid"},
    {0x80880233, "Invalid SaveAs value for saving the store."},
    {0x80880240, "The Name property of the Attribute object has not been initialized"},
    {0x80880241, "The Value property of the Attribute object has not been initialized."},
    {0x80880242, "The Name property of the Attribute object is invalid. "},
    {0x80880243, "The Value property of the Attribute object is invalid because the data type does not match what "
                 "is intended to be stored, as indicated by the Name property"},
    {0x80880250, "The Signer certificate has not been set or added"},
    {0x80880251, "The signer certificate cannot be found in the digitally signed data."},
    {0x80880260, "The SignedData object has not been initialized."},
    {0x80880261, "The SignedData object contains an invalid type."},
    {0x80880262, "The SignedData object has not been signed."},
    {0x80880270, "Invalid algorithm value for the Name property of the Algorithm object."},
    {0x80880271, "Invalid key length value for the KeyLength property of the Algorithm object."},
    {0x80880280, "The EnvelopedData object has not been initialized."},
    {0x80880281, "The EnvelopedData object contains an invalid type."},
    {0x80880282, "There is no recipient digital ID specified in the enveloped data of the file when the Brastel "
                 "operation is carried out. Please make sure you have the required digital id"},
    {0x80880283, "The recipient digital ID cannot be found. Please make sure that you have the required digital id "
                 "in your Address Book or other certificate store(s)"},
    {0x80880290, "The EncryptedData object has not been initialized."},
    {0x80880291, "The EncryptedData object is not a valid type."},
    {0x80880292, "The secret of an EncryptedData object has not been initialized."},
    {0x80880900, "The requested operation is not supported in the current platform."},
    {0x80880901, "When signing, the Certificate property of the Signer object has not been set, but the prompt for "
                 "the user certificate has been disabled."},
    {0x80880902, "The operation has been canceled by the user."},
    {0x80880911, kDefaultText},
    {0x80880999, "An unknown error has occurred."},
};

const char* TypeName(VARTYPE t) {
  static const char* const low[] = {"VT_EMPTY", "VT_NULL", "VT_I2",       "VT_I4",    "VT_R4",      "VT_R8",
                                    "VT_CY",    "VT_DATE", "VT_BSTR",     "VT_DISPATCH", "VT_ERROR", "VT_BOOL",
                                    "VT_VARIANT", "VT_UNKNOWN", nullptr,  nullptr,    "VT_I1",      "VT_UI1"};
  static const char* const mid[] = {"VT_UI2", "VT_UI4",       "VT_I8",      "VT_UI8",         "VT_INT",
                                    "VT_UINT", "VT_VOID",     "VT_HRESULT", "VT_PTR",         "VT_SAFEARRAY",
                                    "VT_CARRAY", "VT_USERDEFINED", "VT_LPSTR", "VT_LPWSTR"};
  static const char* const high[] = {"VT_FILETIME",       "VT_BLOB",        "VT_STREAM",
                                     "VT_STORAGE",        "VT_STREAMED_OBJECT", "VT_STORED_OBJECT",
                                     "VT_BLOB_OBJECT",    "VT_CF",          "VT_CLSID"};
  if (t <= 17) return low[t];
  if (t >= 18 && t <= 31) return mid[t - 18];
  if (t >= 64 && t <= 72) return high[t - 64];
  return nullptr;
}

// VT_I1 and the types from VT_UI2 on have only their names; the table's other plain types show their value.
std::string PlainText(const VARIANT& v) {
  char buf[64];
  switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return "NULL";
    case VT_I2:
      return std::to_string(v.iVal);
    case VT_I4:
      return std::to_string(v.lVal);
    case VT_R4:
      std::snprintf(buf, sizeof buf, "%e", static_cast<double>(v.fltVal));
      return buf;
    case VT_R8:
      std::snprintf(buf, sizeof buf, "%e", v.dblVal);
      return buf;
    case VT_BSTR:
      return v.bstrVal ? static_cast<const char*>(_bstr_t(v.bstrVal)) : std::string();
    case VT_DISPATCH:
      return "VT_DISPATCH";
    case VT_ERROR:
      return "VT_ERROR";
    case VT_BOOL:
      return "VARIANT_BOOL";
    case VT_VARIANT:
      return "VT_VARIANT";
    case VT_UNKNOWN:
      return "VT_UNKNOWN";
    case VT_I1:
      return "VT_I1";
    case VT_UI1:
      std::snprintf(buf, sizeof buf, "0x%02X", v.bVal);
      return buf;
    default:
      if ((v.vt >= 18 && v.vt <= 31) || (v.vt >= 64 && v.vt <= 72)) return TypeName(v.vt);
      return std::string();  // VT_CY, VT_DATE and anything else
  }
}

}  // namespace

CBstrString GetCapicomErrorMessage(HRESULT hr) {
  for (const ErrorText& e : kTexts)
    if (static_cast<uint32_t>(hr) == e.code) return CBstrString(e.text);
  return CBstrString(kDefaultText);
}

CBstrString VariantTypeToString(const VARIANT* value) {
  if (!value) _com_issue_error(E_POINTER);
  _variant_t copy;
  HRESULT hr = VariantCopy(&copy, value);
  if (FAILED(hr)) _com_issue_error(hr);
  VARTYPE flags = copy.vt & (VT_ARRAY | VT_BYREF);
  if (!(copy.vt & 0xF000)) return CBstrString(PlainText(copy).c_str());
  std::string text;
  if (flags == 0) return CBstrString("");  // only flags other than these two
  if (copy.vt & VT_ARRAY) text = "Array of ";
  if (copy.vt & VT_BYREF) text += "Pointer to ";
  if (const char* name = TypeName(copy.vt & VT_TYPEMASK)) text += name;
  return CBstrString(text.c_str());
}
