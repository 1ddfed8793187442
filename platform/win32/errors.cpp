#include "platform/win32/errors.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/heap.h"

namespace {
thread_local DWORD t_lastError = 0;

struct MessageText {
  DWORD code;
  const char* text;
};

const MessageText kMessages[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough storage is available to process this command."},
    {12, "The access code is invalid."},
    {13, "The data is invalid."},
    {14, "Not enough storage is available to complete this operation."},
    {18, "There are no more files."},
    {19, "The media is write protected."},
    {21, "The device is not ready."},
    {25, "The drive cannot locate a specific area or track on the disk."},
    {32, "The process cannot access the file because it is being used by another process."},
    {33, "The process cannot access the file because another process has locked a portion of the file."},
    {38, "Reached the end of the file."},
    {50, "The request is not supported."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {120, "This function is not supported on this system."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {131, "An attempt was made to move the file pointer before the beginning of the file."},
    {145, "The directory is not empty."},
    {161, "The specified path is invalid."},
    {183, "Cannot create a file when that file already exists."},
    {193, "The file is not a valid application."},
    {203, "The system could not find the environment option that was entered."},
    {206, "The filename or extension is too long."},
    {234, "More data is available."},
    {259, "No more data is available."},
    {288, "Attempt to release mutex not owned by caller."},
    {298, "Too many posts were made to a semaphore."},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2."},
    {998, "Invalid access to memory location."},
    {1004, "Invalid flags."},
    {1006, "The volume for a file has been externally altered so that the opened file is no longer valid."},
    {1008, "An attempt was made to reference a token that does not exist."},
    {1010, "The configuration registry key is invalid."},
    {1011, "The configuration registry key could not be opened."},
    {1012, "The configuration registry key could not be read."},
    {1013, "The configuration registry key could not be written."},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
    {1114, "A dynamic link library (DLL) initialization routine failed."},
    {1223, "The operation was canceled by the user."},
    {1314, "A required privilege is not held by the client."},
    {1336, "The access control list (ACL) structure is invalid."},
    {1337, "The security ID structure is invalid."},
    {1338, "The security descriptor structure is invalid."},
    {1400, "Invalid window handle."},
    {1460, "This operation returned because the timeout period expired."},
};

// Expands %1..%99 (optionally %n!printf-spec!), %0 (stop, no line break), %% and %n (line break) of a
// message template.
bool ExpandInserts(const std::string& tmpl, bool ignoreInserts, bool argArray, va_list* args, std::string& out) {
  const char** array = argArray && args ? reinterpret_cast<const char**>(args) : nullptr;
  // Arguments are taken in order of their number; collect them lazily from the va_list.
  std::vector<uintptr_t> taken;
  va_list ap;
  bool haveList = args && !argArray;
  if (haveList) va_copy(ap, *args);
  auto argAt = [&](int n) -> uintptr_t {
    if (array) return reinterpret_cast<uintptr_t>(array[n - 1]);
    while (haveList && static_cast<int>(taken.size()) < n) taken.push_back(va_arg(ap, uintptr_t));
    return n <= static_cast<int>(taken.size()) ? taken[n - 1] : 0;
  };
  for (size_t i = 0; i < tmpl.size(); ++i) {
    char c = tmpl[i];
    if (c != '%' || i + 1 >= tmpl.size()) {
      out.push_back(c);
      continue;
    }
    char d = tmpl[i + 1];
    if (ignoreInserts) {
      out.push_back(c);
      continue;
    }
    if (d == '0') break;
    if (d == 'n') { out += "\r\n"; ++i; continue; }
    if (d == '%' || d == ' ' || d == '.' || d == '!') { out.push_back(d); ++i; continue; }
    if (d >= '1' && d <= '9') {
      size_t j = i + 1;
      int n = 0;
      while (j < tmpl.size() && tmpl[j] >= '0' && tmpl[j] <= '9' && n < 10) n = n * 10 + (tmpl[j++] - '0');
      std::string spec = "s";
      if (j < tmpl.size() && tmpl[j] == '!') {
        size_t end = tmpl.find('!', j + 1);
        if (end == std::string::npos) { if (haveList) va_end(ap); SetLastError(ERROR_INVALID_PARAMETER); return false; }
        spec = tmpl.substr(j + 1, end - j - 1);
        j = end + 1;
      }
      if (!args) { if (haveList) va_end(ap); SetLastError(ERROR_INVALID_PARAMETER); return false; }
      uintptr_t v = argAt(n);
      std::string fmt = "%" + spec;
      char buf[512];
      if (spec.find('s') != std::string::npos) {
        snprintf(buf, sizeof buf, fmt.c_str(), v ? reinterpret_cast<const char*>(v) : "(null)");
      } else {
        snprintf(buf, sizeof buf, fmt.c_str(), static_cast<unsigned long>(v));
      }
      out += buf;
      i = j - 1;
      continue;
    }
    out.push_back(d);
    ++i;
  }
  if (haveList) va_end(ap);
  return true;
}

}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

namespace kx {

const char* SystemMessageText(DWORD code) {
  if ((code & 0xFFFF0000u) == 0x80070000u) code &= 0xFFFF;  // HRESULT of facility WIN32
  for (const auto& m : kMessages)
    if (m.code == code) return m.text;
  return "";
}

DWORD Win32ErrorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES: case EPERM: case EROFS: case EISDIR: case ETXTBSY: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE: case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC: case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EAGAIN: return ERROR_SHARING_VIOLATION;
    case EXDEV: return ERROR_NOT_SUPPORTED;
    case ELOOP: return ERROR_INVALID_NAME;
    default: return ERROR_INVALID_FUNCTION;
  }
}

BOOL FailWithErrno(int err) {
  SetLastError(Win32ErrorFromErrno(err));
  return FALSE;
}

}  // namespace kx

DWORD FormatMessage(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer, DWORD size,
                    va_list* arguments) {
  std::string tmpl;
  if (flags & FORMAT_MESSAGE_FROM_STRING) {
    if (!source) { SetLastError(ERROR_INVALID_PARAMETER); return 0; }
    tmpl = static_cast<const char*>(source);
  } else if (flags & FORMAT_MESSAGE_FROM_SYSTEM) {
    DWORD code = messageId;
    if ((code & 0xFFFF0000u) == 0x80070000u) code &= 0xFFFF;
    bool found = false;
    for (const auto& m : kMessages)
      if (m.code == code) { tmpl = m.text; tmpl.append("\r\n", 2); found = true; break; }
    if (!found) { SetLastError(ERROR_MR_MID_NOT_FOUND); return 0; }
  } else {
    // Message tables of modules are not kept by this platform.
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  std::string out;
  if (!ExpandInserts(tmpl, flags & FORMAT_MESSAGE_IGNORE_INSERTS, flags & FORMAT_MESSAGE_ARGUMENT_ARRAY, arguments,
                     out))
    return 0;
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    if (!buffer) { SetLastError(ERROR_INVALID_PARAMETER); return 0; }
    size_t n = out.size() + 1 > size ? out.size() + 1 : size;
    auto* p = static_cast<char*>(LocalAlloc(LMEM_FIXED, n));
    if (!p) { SetLastError(ERROR_NOT_ENOUGH_MEMORY); return 0; }
    memcpy(p, out.c_str(), out.size() + 1);
    *reinterpret_cast<char**>(buffer) = p;
    return static_cast<DWORD>(out.size());
  }
  if (!buffer || out.size() + 1 > size) { SetLastError(ERROR_INSUFFICIENT_BUFFER); return 0; }
  memcpy(buffer, out.c_str(), out.size() + 1);
  return static_cast<DWORD>(out.size());
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  long long n = static_cast<long long>(a) * b;
  long long d = c;
  if (d < 0) { n = -n; d = -d; }
  long long r = n >= 0 ? (n + d / 2) / d : (n - d / 2) / d;
  if (r > INT_MAX || r < -INT_MAX) return -1;
  return static_cast<int>(r);
}
