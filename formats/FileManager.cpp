#include "formats/FileManager.h"

#include <strings.h>

#include <cstring>
#include <new>

#include "core/SafeArray.h"
#include "formats/FieldIo.h"
#include "formats/FileClass.h"
#include "formats/FileStream.h"
#include "formats/KesmoraFile.h"
#include "platform/com/oleauto.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"

CBaseFileManager::~CBaseFileManager() {
  delete m_pHandler;
  m_pHandler = nullptr;
  DeleteFileObjects();
  m_paths.RemoveAll();
}

bool CBaseFileManager::Initialize() {
  m_bReady = 0;
  if (!AreFileClassesRegistered()) RegisterClasses();
  bool registered = AreFileClassesRegistered();
  if (registered && !m_pHandler) m_pHandler = CreateContentHandler();
  m_results.RemoveAll();
  m_bReady = m_pHandler && registered ? 1 : 0;
  return m_bReady != 0;
}

bool CBaseFileManager::EnsureReady() { return m_bReady || Initialize(); }

CBaseKesmoraFile* CBaseFileManager::CreateFileObject(const char* marker) {
  EnsureReady();
  const CFileClass* record = FindFileClass(marker);
  if (!record) return nullptr;
  CBaseKesmoraFile* object = record->CreateObject();
  if (!object || !m_pHandler) return object;
  object->SetContentHandler(m_pHandler, false);
  // The record's own marker: a lookup in another case still writes the class's letters.
  DWORD length = 4;
  object->SetMarker(record->m_pszMarker, length);
  return object;
}

CBaseKesmoraFile* CBaseFileManager::CreateForFile(const char* path, CByteBuffer& streamImage) {
  streamImage.Free(false);
  CString marker;
  if (!path || !ReadFileMarker(path, marker)) return nullptr;
  if (!marker.IsEmpty() && FindFileClass(marker)) return CreateFileObject(marker);
  // A stream file starts with its first block: the object that describes it stands before the trailer.
  CFileStream stream;
  if (!stream.Open(path, true, false, 0) || !stream.ReadTrailingBlock(streamImage) || streamImage.GetLength() < 4)
    return nullptr;
  CBaseKesmoraFile* object = CreateFileObject(kx::formats::GetFixedText(streamImage.GetData(), 4));
  if (!object) streamImage.Free(false);
  return object;
}

bool CBaseFileManager::LoadStreamImage(CBaseKesmoraFile* object, const char* path, const CByteBuffer& image,
                                       int mode) {
  object->SetPath(path);
  object->SetImage(image);
  bool ok = mode == 0 ? object->ParseHeader(nullptr)
                      : (mode != 2 || object->ReadLeadingCount() != 0) && object->ExtractBody() &&
                            object->Deserialize(1);
  if (!ok) object->SetResultCode(E_FAIL);
  return ok;
}

// A family file saved under a name that does not end in its class's extension is marked for the caller.
void CBaseFileManager::MarkForeignExtension(CBaseKesmoraFile* object, const char* path) {
  const CFileClass* record = object->GetFileClass();
  if (!record || !record->GetExtension()[0] || !path || !*path) return;
  const char* ext = record->GetExtension();
  size_t n = std::strlen(path), e = std::strlen(ext);
  bool suffix = n > e && path[n - e - 1] == '.' && strcasecmp(path + n - e, ext) == 0;
  if (!suffix) object->SetCallerFlag(1);
}

CBaseKesmoraFile* CBaseFileManager::OpenFile(const char* path) {
  EnsureReady();
  CByteBuffer streamImage;
  CBaseKesmoraFile* object = CreateForFile(path, streamImage);
  if (!object || !m_pHandler) return object;
  object->SetContentHandler(m_pHandler, false);
  bool ok = streamImage.GetLength() ? LoadStreamImage(object, path, streamImage, 4) : object->Load(path);
  m_results.Add(object->GetResultCode());
  MarkForeignExtension(object, path);
  OnFileOpened(0, object->GetFileName(), object->GetResultCode());
  if (!ok) {
    delete object;
    return nullptr;
  }
  return object;
}

CBaseKesmoraFile* CBaseFileManager::OpenFileHeader(const char* path) { return OpenPartly(path, 0); }

CBaseKesmoraFile* CBaseFileManager::OpenFileIfNonEmpty(const char* path) { return OpenPartly(path, 2); }

CBaseKesmoraFile* CBaseFileManager::OpenPartly(const char* path, int mode) {
  EnsureReady();
  CByteBuffer streamImage;
  CBaseKesmoraFile* object = CreateForFile(path, streamImage);
  if (!object) return nullptr;
  bool ok = streamImage.GetLength() ? LoadStreamImage(object, path, streamImage, mode)
            : mode == 0             ? object->LoadHeader(path)
                                    : object->LoadNonEmpty(path);
  m_results.Add(object->GetResultCode());
  if (!ok) {
    delete object;
    return nullptr;
  }
  return object;
}

CBaseKesmoraFile* CBaseFileManager::OpenBuffer(const CByteBuffer& buffer, bool deleteOnFailure, const char* path) {
  EnsureReady();
  // An image too short to hold a marker is nothing of the family.
  if (buffer.GetLength() < 4) return nullptr;
  CBaseKesmoraFile* object = CreateFileObject(kx::formats::GetFixedText(buffer.GetData(), 4));
  if (!object) return nullptr;
  bool extracted = true;
  if (object->GetContentHandler()) {
    object->SetImage(buffer);
    extracted = object->ExtractBody();
  }
  bool parsed = extracted && object->Deserialize(0);
  if (!parsed && object->GetResultCode() == S_OK) object->SetResultCode(KX_E_CONTENT_NOT_PROCESSED);
  m_results.Add(object->GetResultCode());
  OnFileOpened(0, object->GetFileName(), object->GetResultCode());
  MarkForeignExtension(object, path);
  if ((!extracted || !parsed) && deleteOnFailure) {
    delete object;
    return nullptr;
  }
  return object;
}

CBaseKesmoraFile* CBaseFileManager::OpenVariant(const VARIANT& v, bool deleteOnFailure, const char* path) {
  EnsureReady();
  if (!(v.vt & VT_ARRAY)) return nullptr;
  try {
    CSafeArray copy(v);
    return OpenBuffer(copy.GetByteBuffer(), deleteOnFailure, path);
  } catch (...) {
    return nullptr;
  }
}

bool CBaseFileManager::IsKnownFile(const char* path) {
  EnsureReady();
  CByteBuffer streamImage;
  CBaseKesmoraFile* probe = CreateForFile(path, streamImage);
  if (!probe) return false;
  bool known = (streamImage.GetLength() ? LoadStreamImage(probe, path, streamImage, 0) : probe->LoadHeader(path)) &&
               probe->HasFileClass();
  delete probe;
  return known;
}

bool CBaseFileManager::SaveObject(CBaseKesmoraFile* object, const char* path) {
  EnsureReady();
  if (!object) return false;
  CString target = path && *path ? CString(path) : CString(object->GetFilePath().GetAnsi());
  if (target.IsEmpty()) return false;
  bool ok = object->Save(target);
  m_results.Add(object->GetResultCode());
  return ok;
}

bool CBaseFileManager::LoadObject(const char* path, CBaseKesmoraFile* object) {
  EnsureReady();
  if (!object) return false;
  if (m_pHandler && !object->GetContentHandler()) object->SetContentHandler(m_pHandler, false);
  bool ok = object->Load(path);
  m_results.Add(object->GetResultCode());
  OnFileOpened(0, object->GetFileName(), object->GetResultCode());
  return ok;
}

bool CBaseFileManager::Walk(const char* folder, const char* pattern, int mode) {
  if (!folder || !pattern) return false;
  CString base(folder);
  CString search = base + "/" + pattern;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(search, &data);
  if (find == INVALID_HANDLE_VALUE || !find) return false;
  DWORD count = 0;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    CString full = base + "/" + data.cFileName;
    CBaseKesmoraFile* object = mode == 0   ? OpenFileHeader(full)
                               : mode == 2 ? OpenFileIfNonEmpty(full)
                                           : OpenFile(full);
    if (!object) continue;
    m_objects.Add(object);
    m_paths.Add(CBstrString(full.GetString()));
    ++count;
  } while (FindNextFileA(find, &data) == TRUE);
  FindClose(find);
  return count > 0;
}

bool CBaseFileManager::ScanFolderEx(const char* folder, const char* pattern, int mode, DWORD, bool clear) {
  EnsureReady();
  if (clear) {
    m_paths.RemoveAll();
    DeleteFileObjects();
  }
  return Walk(folder, pattern, mode);
}

bool CBaseFileManager::ScanFolder(const char* folder, const char* pattern, bool headerOnly, DWORD) {
  EnsureReady();
  m_paths.RemoveAll();
  DeleteFileObjects();
  return Walk(folder, pattern, headerOnly ? 0 : 4);
}

void CBaseFileManager::Reset() {
  DeleteFileObjects();
  m_paths.RemoveAll();
  m_results.RemoveAll();
  m_bReady = 0;
}

void CBaseFileManager::DeleteFileObjects() {
  for (DWORD i = 0; i < m_objects.GetCount(); ++i) delete m_objects.GetAt(i);
  m_objects.RemoveAll();
}

DWORD CBaseFileManager::DeleteFolder(const char* folder, bool removeFolder) {
  if (!folder || !*folder) return ERROR_PATH_NOT_FOUND;
  DWORD error = 0;
  {
    CFileFinder finder;
    CString pattern = CString(folder) + "/*.*";
    bool more = finder.FindFile(pattern);
    while (more) {
      more = finder.FindNextFile();
      if (finder.IsDots()) continue;
      CString path = finder.GetFilePath();
      if (finder.IsDirectory()) {
        // An empty folder goes at once; a link to a folder is removed itself, never walked into.
        if (RemoveDirectoryA(path)) continue;
        if (::GetLastError() == ERROR_DIRECTORY) {
          if (!DeleteFileA(path)) error = ::GetLastError();
          continue;
        }
        DeleteFolder(path, true);
        continue;
      }
      SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
      if (!DeleteFileA(path)) error = ::GetLastError();
    }
  }
  if (removeFolder && !RemoveDirectoryA(folder)) error = ::GetLastError();
  return error;
}

namespace {

// A new stream on which the open was attempted; null only when no stream could be made.
CFileStream* NewStream(const char* path, bool readMode) {
  try {
    CFileStream* stream = new CFileStream;
    stream->Open(path, readMode, false, 0);
    return stream;
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

CFileStream* CBaseFileManager::CreateStream(const char* path) { return NewStream(path, false); }

CFileStream* CBaseFileManager::OpenStream(const char* path) { return NewStream(path, true); }

CFileContentHandler* CFileManager::CreateContentHandler() { return new (std::nothrow) CFileContentHandler; }

void CFileManager::RegisterClasses() { RegisterFileClasses(); }
