// Files and folders. Paths are UTF-8 with "/" as separator and no drive letters.
//
// Share modes are kept between every handle opened through CreateFile, in this process and in others, by
// open-file-description locks on bytes far beyond any file's end (advisory: programs outside the platform do
// not see them). A conflicting open fails with ERROR_SHARING_VIOLATION, as does DeleteFile/MoveFile of a file
// that someone holds open without FILE_SHARE_DELETE.
// Attributes: FILE_ATTRIBUTE_READONLY is a file without its owner's write bit (kept even for root: writing or
// deleting such a file is refused with ERROR_ACCESS_DENIED); folders are FILE_ATTRIBUTE_DIRECTORY; other
// files report FILE_ATTRIBUTE_ARCHIVE. Other attribute bits given to SetFileAttributes are accepted and
// not stored.
#pragma once

#include "platform/win32/sync.h"
#include "platform/win32/types.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define DELETE 0x00010000u
#define FILE_READ_DATA 0x0001
#define FILE_WRITE_DATA 0x0002
#define FILE_APPEND_DATA 0x0004
#define FILE_READ_ATTRIBUTES 0x0080
#define FILE_WRITE_ATTRIBUTES 0x0100
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_FLAG_NO_BUFFERING 0x20000000u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_WRITE_THROUGH 0x00000008
#define ERROR_DIRECTORY 267u
#define ERROR_BUFFER_OVERFLOW 111u
#define ERROR_NOT_SAME_DEVICE 17u
#define ERROR_INVALID_ADDRESS 487u

struct OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
};
using WIN32_FIND_DATA = WIN32_FIND_DATAA;
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;
using LPWIN32_FIND_DATA = WIN32_FIND_DATAA*;

struct BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
};
using LPBY_HANDLE_FILE_INFORMATION = BY_HANDLE_FILE_INFORMATION*;

struct WIN32_FILE_ATTRIBUTE_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
};
enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard, GetFileExMaxInfoLevel };

// CREATE_ALWAYS/OPEN_ALWAYS on an existing file succeed with last error ERROR_ALREADY_EXISTS.
KXAPI HANDLE CreateFile(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                        DWORD flagsAndAttributes, HANDLE templateFile);
inline constexpr auto& CreateFileA = CreateFile;
// Reads up to count bytes; *read is 0 at the end of the file (and the call succeeds). overlapped must be null.
KXAPI BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped);
KXAPI BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped);
KXAPI DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
KXAPI BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* newPosition, DWORD method);
KXAPI DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
KXAPI BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
KXAPI BOOL SetEndOfFile(HANDLE file);
KXAPI BOOL FlushFileBuffers(HANDLE file);
KXAPI BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME lastAccess, LPFILETIME lastWrite);
KXAPI BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess, const FILETIME* lastWrite);
KXAPI BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info);

KXAPI DWORD GetFileAttributes(LPCSTR path);
inline constexpr auto& GetFileAttributesA = GetFileAttributes;
KXAPI BOOL GetFileAttributesEx(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID info);
inline constexpr auto& GetFileAttributesExA = GetFileAttributesEx;
KXAPI BOOL SetFileAttributes(LPCSTR path, DWORD attributes);
inline constexpr auto& SetFileAttributesA = SetFileAttributes;
KXAPI BOOL CreateDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES sa);
inline constexpr auto& CreateDirectoryA = CreateDirectory;
KXAPI BOOL RemoveDirectory(LPCSTR path);
inline constexpr auto& RemoveDirectoryA = RemoveDirectory;
KXAPI BOOL DeleteFile(LPCSTR path);
inline constexpr auto& DeleteFileA = DeleteFile;
KXAPI BOOL MoveFile(LPCSTR from, LPCSTR to);
inline constexpr auto& MoveFileA = MoveFile;
KXAPI BOOL MoveFileEx(LPCSTR from, LPCSTR to, DWORD flags);
inline constexpr auto& MoveFileExA = MoveFileEx;
// Copies contents, read-only state and last-write time; failIfExists on an existing target: ERROR_FILE_EXISTS.
KXAPI BOOL CopyFile(LPCSTR from, LPCSTR to, BOOL failIfExists);
inline constexpr auto& CopyFileA = CopyFile;

// DOS wildcards: "*" any run, "?" one character (or none before a dot or the end), "*.*" everything, "*." names
// without a dot, "name.*" also "name"; case is ignored. Entries come in case-insensitive name order, "." and
// ".." included as the platform gives them. No match: ERROR_FILE_NOT_FOUND; missing folder: ERROR_PATH_NOT_FOUND.
KXAPI HANDLE FindFirstFile(LPCSTR pattern, LPWIN32_FIND_DATAA data);
inline constexpr auto& FindFirstFileA = FindFirstFile;
KXAPI BOOL FindNextFile(HANDLE find, LPWIN32_FIND_DATAA data);  // ERROR_NO_MORE_FILES at the end
inline constexpr auto& FindNextFileA = FindNextFile;
KXAPI BOOL FindClose(HANDLE find);

// The temporary folder with a trailing "/". Returns the length, or the size needed (with terminator) when the
// buffer is too small.
KXAPI DWORD GetTempPath(DWORD size, LPSTR buffer);
inline constexpr auto& GetTempPathA = GetTempPath;
// folder + first three characters of prefix + unique number in upper-case hex + ".tmp". unique 0: a number is
// chosen and the file created (empty, exclusive); otherwise the name is only built. Returns the number used,
// 0 on failure. buffer holds MAX_PATH characters.
KXAPI UINT GetTempFileName(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR buffer);
inline constexpr auto& GetTempFileNameA = GetTempFileName;
// Absolute, with "." and ".." resolved; *filePart (when given) points at the last component, null when the
// path ends with a separator.
KXAPI DWORD GetFullPathName(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart);
inline constexpr auto& GetFullPathNameA = GetFullPathName;
KXAPI DWORD GetCurrentDirectory(DWORD size, LPSTR buffer);
inline constexpr auto& GetCurrentDirectoryA = GetCurrentDirectory;
KXAPI BOOL SetCurrentDirectory(LPCSTR path);
inline constexpr auto& SetCurrentDirectoryA = SetCurrentDirectory;
// The platform's Windows folder: a folder of ours under the state root (kx::WindowsDir()).
KXAPI UINT GetWindowsDirectory(LPSTR buffer, UINT size);
inline constexpr auto& GetWindowsDirectoryA = GetWindowsDirectory;
KXAPI UINT GetSystemDirectory(LPSTR buffer, UINT size);
inline constexpr auto& GetSystemDirectoryA = GetSystemDirectory;

// Special folders.
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_PERSONAL 0x0005
#define CSIDL_APPDATA 0x001a
#define CSIDL_LOCAL_APPDATA 0x001c
#define CSIDL_INTERNET_CACHE 0x0020
#define CSIDL_COMMON_APPDATA 0x0023
#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025
#define CSIDL_FLAG_CREATE 0x8000
#define SHGFP_TYPE_CURRENT 0
KXAPI BOOL SHGetSpecialFolderPath(HWND owner, LPSTR path, int csidl, BOOL create);
inline constexpr auto& SHGetSpecialFolderPathA = SHGetSpecialFolderPath;
KXAPI HRESULT SHGetFolderPath(HWND owner, int csidl, HANDLE token, DWORD flags, LPSTR path);
inline constexpr auto& SHGetFolderPathA = SHGetFolderPath;

// Drives: paths have no drive letters; the "drive root" of a path is the file system that holds it, always a
// fixed disk here.
#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
KXAPI UINT GetDriveType(LPCSTR rootPath);  // DRIVE_FIXED for an existing folder, DRIVE_NO_ROOT_DIR otherwise
inline constexpr auto& GetDriveTypeA = GetDriveType;
// Counts are scaled so that each fits 32 bits (the cluster size grows instead).
KXAPI BOOL GetDiskFreeSpace(LPCSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                            LPDWORD freeClusters, LPDWORD totalClusters);
inline constexpr auto& GetDiskFreeSpaceA = GetDiskFreeSpace;
KXAPI BOOL GetDiskFreeSpaceEx(LPCSTR path, ULARGE_INTEGER* freeToCaller, ULARGE_INTEGER* total,
                              ULARGE_INTEGER* totalFree);
inline constexpr auto& GetDiskFreeSpaceExA = GetDiskFreeSpaceEx;
KXAPI BOOL SetVolumeLabel(LPCSTR rootPath, LPCSTR label);  // not supported: FALSE, ERROR_NOT_SUPPORTED
inline constexpr auto& SetVolumeLabelA = SetVolumeLabel;

// File mappings over a file handle (names are accepted and not shared between processes).
#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04
#define FILE_MAP_WRITE 0x0002
#define FILE_MAP_READ 0x0004
#define FILE_MAP_ALL_ACCESS 0x000F001F
KXAPI HANDLE CreateFileMapping(HANDLE file, LPSECURITY_ATTRIBUTES sa, DWORD protect, DWORD sizeHigh, DWORD sizeLow,
                               LPCSTR name);
inline constexpr auto& CreateFileMappingA = CreateFileMapping;
// bytes 0 maps to the end of the mapping.
KXAPI LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes);
KXAPI BOOL UnmapViewOfFile(LPCVOID view);
KXAPI BOOL FlushViewOfFile(LPCVOID view, SIZE_T bytes);

namespace kx {
// The DOS wildcard match used by FindFirstFile (case ignored).
KXAPI bool MatchDosPattern(const char* pattern, const char* name);
// ERROR_FILE_NOT_FOUND when the folder of path exists, else ERROR_PATH_NOT_FOUND.
KXAPI DWORD NotFoundError(const char* path);
}  // namespace kx
