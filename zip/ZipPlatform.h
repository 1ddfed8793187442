// Everything of the zip library that depends on the operating system: attributes and times of files,
// folders, drives and their labels, free space, removing and renaming, the code page of entry names and
// the conversion of attributes between the host systems of the zip format.
//
// Attributes on this side are in the MS-DOS form (0x01 read-only, 0x02 hidden, 0x10 folder, 0x20 archive).
// Paths use "/"; an absolute path's root "/" plays the part of its drive.
//
// Removable disks: a folder holding a file named ".kxdisk" stands for a removable disk mounted there.
// The file's first line is the disk's label; an optional second line gives its capacity in bytes.
// Swapping disks is renaming such folders in and out of the mount point.
#pragma once

#include <ctime>

#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

class CZipBuffer;

// Host-system codes of the version-made-by field.
enum ZipHostSystem {
  zcDosFat = 0, zcAmiga = 1, zcVms = 2, zcUnix = 3, zcVmCms = 4, zcAtari = 5, zcOs2Hpfs = 6,
  zcMacintosh = 7, zcZSystem = 8, zcCpm = 9, zcNtfs = 10, zcLast = 11
};

int ZipGetSystemId();
bool ZipIsSystemSupported(int code);
// Raises CZipException 113 when either system has no converter.
DWORD ZipConvertAttributes(DWORD attr, int from, int to);
DWORD ZipAttrPassThrough(DWORD attr, bool toDos);
DWORD ZipAttrUnix(DWORD attr, bool toDos);
DWORD ZipAttrMac(DWORD attr, bool toDos);
inline bool ZipIsDirectoryAttr(DWORD attr) { return (attr & 0x10) != 0; }

bool ZipGetFileAttributes(LPCTSTR path, DWORD& attr);
bool ZipSetFileAttributes(LPCTSTR path, DWORD attr);
bool ZipGetFileModTime(LPCTSTR path, time_t& time);
bool ZipGetFileSize(LPCTSTR path, ULONGLONG& size);
bool ZipSetFileModTime(LPCTSTR path, time_t time);
bool ZipChangeDirectory(LPCTSTR path);
bool ZipGetCurrentDirectory(CString& path);
bool ZipIsDirectory(LPCTSTR path);
// 0 nothing of that name, -1 a folder, 1 a file.
int ZipFileExists(LPCTSTR path);
bool ZipCreateDirectory(LPCTSTR path);
bool ZipForceDirectory(LPCTSTR path);
// True when some existing part of relative below folder is a symbolic link (extraction never follows one).
bool ZipPathHasLink(LPCTSTR folder, LPCTSTR relative);
bool ZipIsDriveRemovable(LPCTSTR path);
bool ZipSetVolumeLabel(LPCTSTR path, LPCTSTR label);
DWORD ZipGetDeviceFreeSpace(LPCTSTR path);
bool ZipDeleteFile(LPCTSTR path);
// Raise CZipException 111 / 112 on failure.
void ZipRemoveFile(LPCTSTR path);
void ZipRenameFile(LPCTSTR oldPath, LPCTSTR newPath);
// Bytes from the system's random source.
void ZipRandomBytes(BYTE* out, DWORD size);

// Entry names: the "ANSI" side is UTF-8, the OEM code page CP437. Converting to OEM returns false when a
// character has no OEM form (the buffer is then left unchanged).
bool ZipAnsiOem(CZipBuffer& buffer, bool toOem);
bool ZipIsUtf8(const BYTE* text, DWORD size);

class CZipPathComponent {
 public:
  CZipPathComponent() = default;
  explicit CZipPathComponent(LPCTSTR path) { SetFullPath(path); }

  void SetFullPath(LPCTSTR path);
  void SetExtension(LPCTSTR ext);
  void SetFileTitle(LPCTSTR title) { m_szFileTitle = title; }
  CString GetFileTitle() const { return m_szFileTitle; }
  CString GetFileExt() const { return m_szFileExt; }
  CString GetFileDir() const { return m_szDirectory; }
  CString GetFileDrive() const { return m_szDrive; }
  CString GetFileName() const;
  CString GetFilePath() const;
  CString GetFullPath() const;
  CString GetNoDrive() const;

 private:
  CString m_szDirectory;
  CString m_szFileTitle;
  CString m_szFileExt;
  CString m_szDrive;
};
