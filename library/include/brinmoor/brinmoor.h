/*
 * <brinmoor/brinmoor.h>: the 38 functions of libbrinmoor, for host programs in C (C11) and C++ (C++17).
 *
 * Each function shows one modal wizard, property sheet or dialog on the calling thread, lets the user work,
 * and returns when it is closed. Build a host with
 *
 *     cc host.c $(pkg-config --cflags --libs brinmoor)
 *
 * or, with CMake, find_package(Brinmoor) and link the target Brinmoor::brinmoor.
 *
 * Start-up. The library starts itself the first time one of its functions is called (or when the platform's
 * LoadLibrary loads it): resource library, default folders, first-start settings. Windows go to the X server
 * named by DISPLAY; with KX_HEADLESS=1 they stay off any screen (something must then drive them, as tests
 * do). When the library cannot start (no DISPLAY and no KX_HEADLESS=1, an X server that cannot be opened, a
 * state folder that cannot be made or written, a missing resource library), every function writes the reason
 * to standard error, shows nothing, leaves its out-values untouched and returns BRINMOOR_NOT_STARTED.
 *
 * State. Settings, certificate stores and keys live under $XDG_CONFIG_HOME/kesmora (~/.config/kesmora),
 * documents in $XDG_DOCUMENTS_DIR (~/Documents), temporary files in $TMPDIR (/tmp), machine-wide state in
 * /var/lib/kesmora. KESMORA_ROOT=<folder> moves all of it under one folder.
 *
 * Threads. Call the functions from the thread that runs your user interface; each one runs its own modal loop
 * and returns on the same thread. The functions are not meant to run at the same time on several threads.
 *
 * Results. Every function returns an int:
 *   1   shown and closed (for most functions, whatever the user chose: see each one),
 *   0   the function's own "no" (cancelled, nothing chosen, nothing shown), where a function says so,
 *  -1   BRINMOOR_NOT_STARTED, as above.
 * Many wizards and sheets answer 1 for Finish, for Cancel and for closing the window alike: a host cannot tell
 * them apart from the result. Each such function says "Finish and Cancel alike".
 *
 * Parameters named "ignored" are accepted and never read. A parent window (HWND) may be NULL: the window then
 * has no owner. Windows of the host's own toolkit are not HWNDs; pass NULL.
 */
#ifndef BRINMOOR_BRINMOOR_H
#define BRINMOOR_BRINMOOR_H

#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

/* The result of every function when the library could not start. */
#define BRINMOOR_NOT_STARTED (-1)

/* The file a host that loads the library at run time passes to dlopen. */
#define BRINMOOR_LIBRARY "libbrinmoor.so.1"

/* Operation codes of SignerWizardOperation and EncryptWizardOperation. */
#define BRINMOOR_ENCRYPT 0
#define BRINMOOR_SIGN 1
#define BRINMOOR_SIGN_AND_ENCRYPT 2
#define BRINMOOR_COUNTERSIGN 3
#define BRINMOOR_DECRYPT_AND_VERIFY 4

/* Answers of ShowMessageYesNo. */
#define BRINMOOR_YES 6
#define BRINMOOR_NO 7

/* Interface identifiers, for QueryInterface:  static const GUID iid = BRINMOOR_IID_ICERTIFICATE2; */
#define BRINMOOR_IID_ICERTIFICATE {0x4F711EB1, 0x3FD0, 0x4920, {0xA7, 0x30, 0xB0, 0xFA, 0x5A, 0xCB, 0x51, 0x3D}}
#define BRINMOOR_IID_ICERTIFICATE2 {0x91C16BFA, 0x6948, 0x477E, {0x8C, 0xA5, 0xBD, 0xD7, 0x1A, 0x02, 0x1C, 0x31}}
#define BRINMOOR_IID_ICERTIFICATES2 {0x7B57C04B, 0x1786, 0x4B30, {0xA7, 0xB6, 0x36, 0x23, 0x5C, 0xD5, 0x8A, 0x14}}

/* The type of a VARIANT that holds an object (its pdispVal). */
#define BRINMOOR_VT_DISPATCH 9

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Types ------------------------------------------------------------------------------------------------ */

/* A window of the library's window system; NULL for none. */
typedef struct HWND__* HWND;

/* Strings of the object model: UTF-16 text behind a 4-byte length, as SysAllocString makes them. Free a BSTR the
 * library hands out with SysFreeString; SysStringLen gives its length in 16-bit units. */
typedef char16_t OLECHAR;
typedef OLECHAR* BSTR;
void SysFreeString(BSTR text);
unsigned int SysStringLen(BSTR text);

/* The framework's string (UTF-8 text) that SignerWizardOperation assigns its results to. A host makes one with
 * CStringNew, reads it with CStringText (valid until the string changes or is freed) and frees it with
 * CStringFree. */
#ifdef __cplusplus
class CString;
#else
typedef struct CString CString;
#endif
CString* CStringNew(void);
const char* CStringText(const CString* string);
void CStringFree(CString* string);

#ifndef BRINMOOR_PLATFORM_TYPES
typedef struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
#ifdef __cplusplus
typedef const GUID& REFIID;
#else
typedef const GUID* REFIID;
#endif

/* A value of the object model. The items of a certificate collection are BRINMOOR_VT_DISPATCH values whose
 * pdispVal is the certificate; VariantClear releases what a value holds. */
struct IDispatch;
typedef struct VARIANT {
  uint16_t vt;
  uint16_t wReserved1;
  uint16_t wReserved2;
  uint16_t wReserved3;
  union {
    int64_t llVal;
    int32_t lVal;
    double dblVal;
    BSTR bstrVal;
    struct IDispatch* pdispVal;
    void* byref;
  };
} VARIANT;
void VariantInit(VARIANT* value);
int32_t VariantClear(VARIANT* value);

/* The certificate objects SelectCertificate hands out. Methods return 0 (S_OK) on success, a negative result
 * code on failure. Every interface pointer received is released with Release. */
#ifdef __cplusplus
struct IUnknown {
  virtual int32_t QueryInterface(REFIID iid, void** object) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
};
/* Its four methods answer E_NOTIMPL. */
struct IDispatch : IUnknown {
  virtual int32_t GetTypeInfoCount(unsigned int* count) = 0;
  virtual int32_t GetTypeInfo(unsigned int index, uint32_t locale, void** info) = 0;
  virtual int32_t GetIDsOfNames(REFIID iid, OLECHAR** names, unsigned int count, uint32_t locale, int32_t* ids) = 0;
  virtual int32_t Invoke(int32_t id, REFIID iid, uint32_t locale, uint16_t flags, void* params, VARIANT* result,
                         void* exception, unsigned int* argumentError) = 0;
};
struct ICertificate : IDispatch {
  virtual int32_t get_Version(int32_t* version) = 0;
  virtual int32_t get_SerialNumber(BSTR* serial) = 0;
  virtual int32_t get_SubjectName(BSTR* name) = 0;
  virtual int32_t get_IssuerName(BSTR* name) = 0;
  virtual int32_t get_ValidFromDate(double* date) = 0;
  virtual int32_t get_ValidToDate(double* date) = 0;
  virtual int32_t get_Thumbprint(BSTR* thumbprint) = 0;
  virtual int32_t HasPrivateKey(int16_t* has) = 0;
  virtual int32_t GetInfo(int32_t infoType, BSTR* info) = 0;
  virtual int32_t IsValid(void** status) = 0;
  virtual int32_t KeyUsage(void** usage) = 0;
  virtual int32_t ExtendedKeyUsage(void** usage) = 0;
  virtual int32_t BasicConstraints(void** constraints) = 0;
  /* encoding 0: base64 text; 1: the DER bytes as a BSTR of that byte length. */
  virtual int32_t Export(int32_t encoding, BSTR* encoded) = 0;
  virtual int32_t Import(BSTR encoded) = 0;
  virtual int32_t Display() = 0;
};
struct ICertificate2 : ICertificate {
  virtual int32_t get_Archived(int16_t* archived) = 0;
  virtual int32_t put_Archived(int16_t archived) = 0;
  virtual int32_t Template(void** value) = 0;
  virtual int32_t PublicKey(void** value) = 0;
  virtual int32_t get_PrivateKey(void** value) = 0;
  virtual int32_t put_PrivateKey(void* value) = 0;
  virtual int32_t Extensions(void** value) = 0;
  virtual int32_t ExtendedProperties(void** value) = 0;
  virtual int32_t Load(BSTR fileName, BSTR password, int32_t keyStorageFlag, int32_t keyLocation) = 0;
  virtual int32_t Save(BSTR fileName, BSTR password, int32_t saveAs, int32_t includeOption) = 0;
};
struct ICertificates : IDispatch {
  /* index counts from 1. */
  virtual int32_t get_Item(int32_t index, VARIANT* item) = 0;
  virtual int32_t get_Count(int32_t* count) = 0;
};
struct ICertificates2 : ICertificates {
  virtual int32_t Add(ICertificate2* certificate) = 0;
  virtual int32_t Remove(int32_t index) = 0;
  virtual int32_t Clear() = 0;
};
#else
/* In C, an interface pointer points at a table of functions that take the pointer first:
 *     certificates->lpVtbl->get_Count(certificates, &count); */
#define BRINMOOR_IUNKNOWN_METHODS(T)                                    \
  int32_t (*QueryInterface)(T * self, REFIID iid, void** object);       \
  uint32_t (*AddRef)(T * self);                                         \
  uint32_t (*Release)(T * self);
#define BRINMOOR_IDISPATCH_METHODS(T)                                                                     \
  BRINMOOR_IUNKNOWN_METHODS(T)                                                                            \
  int32_t (*GetTypeInfoCount)(T * self, unsigned int* count);                                             \
  int32_t (*GetTypeInfo)(T * self, unsigned int index, uint32_t locale, void** info);                     \
  int32_t (*GetIDsOfNames)(T * self, REFIID iid, OLECHAR** names, unsigned int count, uint32_t locale,    \
                           int32_t* ids);                                                                 \
  int32_t (*Invoke)(T * self, int32_t id, REFIID iid, uint32_t locale, uint16_t flags, void* params,      \
                    VARIANT* result, void* exception, unsigned int* argumentError);
#define BRINMOOR_ICERTIFICATE_METHODS(T)                                \
  BRINMOOR_IDISPATCH_METHODS(T)                                         \
  int32_t (*get_Version)(T * self, int32_t * version);                  \
  int32_t (*get_SerialNumber)(T * self, BSTR * serial);                 \
  int32_t (*get_SubjectName)(T * self, BSTR * name);                    \
  int32_t (*get_IssuerName)(T * self, BSTR * name);                     \
  int32_t (*get_ValidFromDate)(T * self, double* date);                 \
  int32_t (*get_ValidToDate)(T * self, double* date);                   \
  int32_t (*get_Thumbprint)(T * self, BSTR * thumbprint);               \
  int32_t (*HasPrivateKey)(T * self, int16_t * has);                    \
  int32_t (*GetInfo)(T * self, int32_t infoType, BSTR * info);          \
  int32_t (*IsValid)(T * self, void** status);                          \
  int32_t (*KeyUsage)(T * self, void** usage);                          \
  int32_t (*ExtendedKeyUsage)(T * self, void** usage);                  \
  int32_t (*BasicConstraints)(T * self, void** constraints);            \
  int32_t (*Export)(T * self, int32_t encoding, BSTR * encoded);        \
  int32_t (*Import)(T * self, BSTR encoded);                            \
  int32_t (*Display)(T * self);
#define BRINMOOR_ICERTIFICATES_METHODS(T)                               \
  BRINMOOR_IDISPATCH_METHODS(T)                                         \
  int32_t (*get_Item)(T * self, int32_t index, VARIANT * item);         \
  int32_t (*get_Count)(T * self, int32_t * count);

typedef struct IDispatch { const struct IDispatchVtbl* lpVtbl; } IDispatch;
struct IDispatchVtbl { BRINMOOR_IDISPATCH_METHODS(IDispatch) };

typedef struct ICertificate { const struct ICertificateVtbl* lpVtbl; } ICertificate;
struct ICertificateVtbl { BRINMOOR_ICERTIFICATE_METHODS(ICertificate) };

typedef struct ICertificate2 { const struct ICertificate2Vtbl* lpVtbl; } ICertificate2;
struct ICertificate2Vtbl {
  BRINMOOR_ICERTIFICATE_METHODS(ICertificate2)
  int32_t (*get_Archived)(ICertificate2* self, int16_t* archived);
  int32_t (*put_Archived)(ICertificate2* self, int16_t archived);
  int32_t (*Template)(ICertificate2* self, void** value);
  int32_t (*PublicKey)(ICertificate2* self, void** value);
  int32_t (*get_PrivateKey)(ICertificate2* self, void** value);
  int32_t (*put_PrivateKey)(ICertificate2* self, void* value);
  int32_t (*Extensions)(ICertificate2* self, void** value);
  int32_t (*ExtendedProperties)(ICertificate2* self, void** value);
  int32_t (*Load)(ICertificate2* self, BSTR fileName, BSTR password, int32_t keyStorageFlag, int32_t keyLocation);
  int32_t (*Save)(ICertificate2* self, BSTR fileName, BSTR password, int32_t saveAs, int32_t includeOption);
};

typedef struct ICertificates2 { const struct ICertificates2Vtbl* lpVtbl; } ICertificates2;
struct ICertificates2Vtbl {
  BRINMOOR_ICERTIFICATES_METHODS(ICertificates2)
  int32_t (*Add)(ICertificates2* self, ICertificate2* certificate);
  int32_t (*Remove)(ICertificates2* self, int32_t index);
  int32_t (*Clear)(ICertificates2* self);
};
#endif /* __cplusplus */
#endif /* BRINMOOR_PLATFORM_TYPES */

/* ---- Wizards and sheets ----------------------------------------------------------------------------------- */

/* The configuration manager (settings pages). 1 when closed: OK and Cancel alike. */
int DisplayConfigManager(HWND parent);
/* The configuration manager in its smart-card variant. 1 when closed: OK and Cancel alike. */
int DisplayConfigManagerForCAC(HWND parent);
/* The Signer Wizard from its welcome page (the user picks the operation and files). 1 when closed: Finish and
 * Cancel alike. */
int DisplaySignerWizard(HWND parent);
/* The system profile sheet. 1 when closed: OK and Cancel alike. */
int DisplaySystemProfile(HWND parent);
/* The system profile sheet in its smart-card variant. 1 when closed: OK and Cancel alike. */
int DisplaySystemProfileForCAC(HWND parent);
/* The certificate manager. 1 when closed. */
int DisplayCertificateManager(HWND parent);
/* The certificate manager over the active window; the argument is ignored. 1 when closed. */
int ShowCertificateManagerPage(HWND ignored);
/* The audit event log. 1 when closed. */
int DisplayAuditEventLog(HWND parent);
/* The one-click preset wizard. 1 when closed: Finish and Cancel alike. */
int DisplayOneClickWizard(HWND parent);
/* The signature manager (hand-drawn signature images). 1 when closed: Finish and Cancel alike. */
int DisplaySignatureManager(HWND parent);
/* The archive wizard (signed or encrypted zip archives). 1 when closed: Finish and Cancel alike. */
int DisplayArchiveWizard(HWND parent);
/* The certificate creation wizard, or, when the machine's security policy forbids it, a message saying so.
 * 1 when closed: Finish and Cancel alike. */
int DisplayCertCreationWizard(HWND parent);
/* The package wizard (self-extracting packages). 1 when closed: Finish and Cancel alike. */
int DisplayPackageWizard(int ignored1, int ignored2);
/* The security policy manager. 1 when closed: OK and Cancel alike. */
int DisplayVorlindPolicyManager(int ignored1, int ignored2);
/* The user set-up wizard. 1 when closed: Finish and Cancel alike. */
int DisplayUserSetupWizard(int ignored1, int ignored2);
/* The code-signing wizard. 1 when closed: Finish and Cancel alike. */
int DisplayCodeSignWizard(int ignored);
/* The certificate importer (PFX files). 1 when closed: Finish and Cancel alike. */
int DisplayCertificateImporter(int ignored);

/* ---- Operations on one file ------------------------------------------------------------------------------- */

/* The Signer Wizard for one operation (BRINMOOR_ENCRYPT .. BRINMOOR_DECRYPT_AND_VERIFY) on the file at path.
 * outputFolder NULL: the file's own folder.
 * 1: the user pressed Finish. *resultPath is then the output of the last file that succeeded (empty when none
 *    did) and *resultText the last result message (empty after encryption).
 * 0: cancelled, or nothing done (an operation code above 4, path NULL); both strings keep what they held.
 * resultPath and resultText may be NULL when not wanted. */
int SignerWizardOperation(HWND parent, unsigned char operation, const char* path, const char* outputFolder,
                          CString* resultPath, CString* resultText);
/* The encryption wizard for BRINMOOR_ENCRYPT or BRINMOOR_DECRYPT_AND_VERIFY on the file at path (outputFolder
 * NULL: the file's own folder). 1: finished; 0: cancelled, or nothing done (another operation code, path
 * NULL). */
int EncryptWizardOperation(HWND parent, unsigned char operation, const char* path, const char* outputFolder);
/* The summary of a protected file (.tvx) at path. 1 when closed, also when the file cannot be read (the sheet
 * says so). */
int DisplayTolvexFileSummary(HWND parent, const char* path);
/* The summary of a protected file in its mail form, with statusText shown. 1 when closed; 0 when the sheet
 * cannot be made. */
int DisplayMailTolvexProperties(int ignored, const char* path, const char* statusText);
/* The stored one-click preset named presetName (letter case ignored). 1 when closed, also when no preset has
 * that name (nothing is shown then). */
int DisplayOneClickSetting(HWND parent, const char* presetName);

/* ---- Choices ---------------------------------------------------------------------------------------------- */

/* Certificates chosen by the user: in the certificate manager (useSelectionSheet 0) or in the selection sheet
 * (non-zero). Returns 1. *chosen is NULL when nothing was chosen (cancelled), else a collection of the chosen
 * certificates in the order shown, holding one reference for the caller (release it with Release). chosen may
 * be NULL. */
int SelectCertificate(HWND parent, int useSelectionSheet, ICertificates2** chosen);
/* A one-click preset chosen by the user: all presets (listAll non-zero) or those of the operation code only.
 * 1: *presetPath is a new BSTR holding the preset file's path (free it with SysFreeString). 0: cancelled or
 * nothing chosen; *presetPath untouched. */
int SelectOneClickSettings(HWND parent, unsigned char operation, int listAll, BSTR* presetPath);
/* A mail profile chosen by the user. 1 on OK with *profileIndex the chosen profile's index (from 0); 0 on
 * Cancel with *profileIndex -1. */
int SelectProfile(int ignored, int* profileIndex);
/* The mail profile wizard on the profile at index (a negative or too large index: a new profile). 1 when
 * closed: Finish and Cancel alike; 0 when the wizard cannot be made. */
int DisplayProfileWizard(int ignored, int index);
/* The list of mail profiles. 1 when closed. */
int DisplayProfileList(int ignored);
/* The user set-up wizard for a new profile with these names. 1 when the wizard was shown (Finish and Cancel
 * alike); 0 when a profile with that e-mail name exists (letter case ignored; nothing is shown) or the wizard
 * cannot be made. With either name NULL the wizard starts on its first page. */
int UserSetup(const char* fullName, const char* emailName);
/* The e-mail signing options. 1 when closed: OK and Cancel alike. */
int DisplayESign(int ignored1, int ignored2);
/* The archive compression options. 1 when closed: OK and Cancel alike. */
int DisplayArchiveConfig(int ignored1, int ignored2);

/* ---- Messages and pages ----------------------------------------------------------------------------------- */

/* A message with an OK button. 1 when closed. */
int ShowMessage(HWND ignored, const char* text);
/* A question with Yes and No. 1 when closed, *answer BRINMOOR_YES (6) or BRINMOOR_NO (7); *answer is 0 when
 * the box could not be shown. answer may be NULL. */
int ShowMessageYesNo(HWND ignored, const char* text, int* answer);
/* The About page. 1 when closed. */
int DisplayAboutBox(HWND ignored);
/* The testimony page. 1 when closed. */
int DisplayTestimony(HWND ignored);
/* The platform's certificate store manager. 1 when closed, also when it is not available (nothing shown). */
int DisplayCertStores(HWND ignored);

/* ---- Address book ----------------------------------------------------------------------------------------- */

/* The address book's browse, people-search and new-contact dialogs. 1 when closed, also when the address book
 * cannot be opened (nothing is shown then). */
int DisplayAddressBook(HWND parent);
int FindSubject(HWND parent);
int NewEntry(HWND parent);

#ifdef __cplusplus
}
#endif

#endif /* BRINMOOR_BRINMOOR_H */
