// SOAP answers: the envelope reads an answer, as a transport received it (status 200), into its result list;
// each result's value is taken and a byte array result turned into a buffer, as the enrolment client does.
#include "core/ByteBuffer.h"
#include "core/SafeArray.h"
#include "platform/com/combase.h"
#include "platform/com/comobject.h"
#include "platform/services/soap.h"
#include "support.h"

namespace {

class Answer : public kx::ComObject<Answer, ISoapHttpTransport> {
 public:
  Answer(const uint8_t* data, size_t size) : m_body(reinterpret_cast<const char*>(data), size) {}
  STDMETHODIMP Send(BSTR, BSTR) override { return S_OK; }
  STDMETHODIMP put_SoapAction(BSTR) override { return S_OK; }
  STDMETHODIMP SetProxy(BSTR, USHORT) override { return S_OK; }
  STDMETHODIMP SetProxyCredentials(BSTR, BSTR) override { return S_OK; }
  STDMETHODIMP GetResponse(BSTR* body, LONG* status, BSTR* contentType, BSTR* failure) override {
    *body = SysAllocStringByteLen(m_body.data(), static_cast<UINT>(m_body.size()));
    *status = 200;
    *contentType = SysAllocString(u"text/xml");
    *failure = SysAllocString(u"");
    return S_OK;
  }

 private:
  std::string m_body;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = SUCCEEDED(CoInitialize(nullptr));
  if (!started) return 0;
  ISoapEnvelope* envelope = nullptr;
  if (FAILED(CoCreateInstance(CLSID_SoapEnvelope, nullptr, CLSCTX_INPROC_SERVER, KX_IIDOF(ISoapEnvelope),
                              reinterpret_cast<void**>(&envelope))))
    return 0;
  Answer* answer = new Answer(data, size);
  VARIANT channel;
  VariantInit(&channel);
  channel.vt = VT_UNKNOWN;
  channel.punkVal = answer;
  BSTR encoding = SysAllocString(u"");
  if (SUCCEEDED(envelope->Parse(channel, encoding))) {
    ISoapParameters* list = nullptr;
    envelope->get_Parameters(&list);
    LONG count = 0;
    if (list) list->get_Count(&count);
    for (LONG i = 0; i < count; ++i) {
      ISoapParameter* item = nullptr;
      if (FAILED(list->get_Item(i, &item)) || !item) continue;
      BSTR name = nullptr;
      item->get_Name(&name);
      SysFreeString(name);
      VARIANT value;
      VariantInit(&value);
      item->get_Value(&value);
      item->Release();
      if (value.vt == (VT_ARRAY | VT_UI1) && value.parray) {
        CSafeArray bytes(value);
        CByteBuffer buffer = bytes.GetByteBuffer();
      }
      VariantClear(&value);
    }
    if (list) list->Release();
  }
  SysFreeString(encoding);
  answer->Release();
  envelope->Release();
  return 0;
}
