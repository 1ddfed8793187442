// The one entry point through which the system creates, opens, saves and lists objects of the marker-keyed
// file family: objects by marker, files and in-memory images, folder scans, and stream files.
#pragma once

#include <vector>

#include "core/BstrString.h"
#include "core/ByteBuffer.h"
#include "core/Paths.h"
#include "platform/win32/types.h"

struct tagVARIANT;
class CBaseKesmoraFile;
class CFileContentHandler;
class CFileStream;

// Pointers to file objects; the array does not delete them.
class CFileObjectArray {
 public:
  CFileObjectArray() { m_items.reserve(10); }
  virtual ~CFileObjectArray() = default;
  void Add(CBaseKesmoraFile* object) { m_items.push_back(object); }
  DWORD GetCount() const { return static_cast<DWORD>(m_items.size()); }
  CBaseKesmoraFile* GetAt(DWORD i) const { return i < m_items.size() ? m_items[i] : nullptr; }
  void RemoveAll() { m_items.clear(); }

 private:
  std::vector<CBaseKesmoraFile*> m_items;
};

class CResultCodeArray {
 public:
  CResultCodeArray() { m_items.reserve(10); }
  virtual ~CResultCodeArray() = default;
  void Add(HRESULT code) { m_items.push_back(code); }
  DWORD GetCount() const { return static_cast<DWORD>(m_items.size()); }
  HRESULT GetAt(DWORD i) const { return i < m_items.size() ? m_items[i] : S_OK; }
  void RemoveAll() { m_items.clear(); }

 private:
  std::vector<HRESULT> m_items;
};

// The open and probe operations take a plain family file or a stream file (whose trailing object they open).
// Objects returned by the create and open operations belong to the caller; they borrow the manager's
// content handler, so they are loaded only while the manager exists. Objects kept by a scan belong to the
// manager. Nothing here throws.
class CBaseFileManager : public CFileFinder {
 public:
  CBaseFileManager() = default;
  ~CBaseFileManager() override;

  virtual bool Initialize();
  virtual bool LoadObject(const char* path, CBaseKesmoraFile* object);
  // Opens every file of folder matching pattern (mode 0 header only, 2 non-empty, else whole) and keeps what
  // opens; true when this call kept at least one.
  virtual bool ScanFolderEx(const char* folder, const char* pattern, int mode, DWORD reserved, bool clear);
  virtual CFileContentHandler* CreateContentHandler() { return nullptr; }
  virtual CBaseKesmoraFile* OpenVariant(const tagVARIANT& v, bool deleteOnFailure, const char* path);
  virtual CBaseKesmoraFile* CreateFileObject(const char* marker);
  virtual bool IsKnownFile(const char* path);
  virtual bool SaveObject(CBaseKesmoraFile* object, const char* path);
  virtual void OnFileOpened(DWORD reserved, const char* fileName, HRESULT result) {}
  virtual void RegisterClasses() {}

  CBaseKesmoraFile* OpenFile(const char* path);
  CBaseKesmoraFile* OpenFileHeader(const char* path);
  CBaseKesmoraFile* OpenFileIfNonEmpty(const char* path);
  CBaseKesmoraFile* OpenBuffer(const CByteBuffer& buffer, bool deleteOnFailure, const char* path);
  bool ScanFolder(const char* folder, const char* pattern, bool headerOnly, DWORD reserved);
  // Deletes the kept objects and empties the lists; the manager initialises again on its next use. The
  // process-wide class registry stays as it is.
  void Reset();
  void DeleteFileObjects();
  // Deletes every file inside folder (sub-folders recursively; a link to a folder is removed, not followed)
  // and, when asked, the folder; the Win32 error of the last failure, 0 when all went well.
  DWORD DeleteFolder(const char* folder, bool removeFolder);
  // A stream opened for writing (created or replaced), respectively for reading; returned also when the open
  // failed (IsOpen tells); null only when no stream could be made.
  CFileStream* CreateStream(const char* path);
  CFileStream* OpenStream(const char* path);

  const CFileObjectArray& GetFileObjectList() const { return m_objects; }
  const CBstrStringList& GetPathList() const { return m_paths; }
  const CResultCodeArray& GetResultList() const { return m_results; }
  void ClearResultList() { m_results.RemoveAll(); }
  bool IsReady() const { return m_bReady != 0; }

 private:
  bool EnsureReady();
  // An object of the file's class: by the marker at its start, or, for a stream file, by the marker of its
  // trailing object, whose image then lands in streamImage. Null when neither names a class.
  CBaseKesmoraFile* CreateForFile(const char* path, CByteBuffer& streamImage);
  // Loads object from the image of a stream file's trailing object, as Load does from a plain file.
  bool LoadStreamImage(CBaseKesmoraFile* object, const char* path, const CByteBuffer& image, int mode);
  // OpenFileHeader (mode 0) and OpenFileIfNonEmpty (mode 2).
  CBaseKesmoraFile* OpenPartly(const char* path, int mode);
  void MarkForeignExtension(CBaseKesmoraFile* object, const char* path);
  bool Walk(const char* folder, const char* pattern, int mode);

  CFileObjectArray m_objects;
  CBstrStringList m_paths;
  CFileContentHandler* m_pHandler = nullptr;
  BYTE m_bReady = 0;
  CResultCodeArray m_results;
};

class CFileManager : public CBaseFileManager {
 public:
  CFileManager() = default;
  ~CFileManager() override = default;
  CFileContentHandler* CreateContentHandler() override;
  void RegisterClasses() override;
};
