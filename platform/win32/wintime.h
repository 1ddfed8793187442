// Clock, SYSTEMTIME/FILETIME conversions and the en-US date and time pictures.
#pragma once

#include <cstdint>

#include "platform/win32/types.h"

KXAPI void GetLocalTime(LPSYSTEMTIME st);
KXAPI void GetSystemTime(LPSYSTEMTIME st);
KXAPI void GetSystemTimeAsFileTime(LPFILETIME ft);
// Milliseconds since an arbitrary start, wrapping at 2^32 as on the platform.
KXAPI DWORD GetTickCount();
KXAPI ULONGLONG GetTickCount64();
KXAPI BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
KXAPI BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);

// Years 1601-30827; fields out of range (or a day past the month's end) fail with ERROR_INVALID_PARAMETER.
KXAPI BOOL SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME ft);
KXAPI BOOL FileTimeToSystemTime(const FILETIME* ft, LPSYSTEMTIME st);
// As on the platform, these apply the bias in force now (not the one of the converted date).
KXAPI BOOL FileTimeToLocalFileTime(const FILETIME* ft, LPFILETIME local);
KXAPI BOOL LocalFileTimeToFileTime(const FILETIME* local, LPFILETIME ft);
// zone must be null (the current zone); applies the rules in force at that date.
KXAPI BOOL SystemTimeToTzSpecificLocalTime(const void* zone, const SYSTEMTIME* utc, LPSYSTEMTIME local);
KXAPI LONG CompareFileTime(const FILETIME* a, const FILETIME* b);

#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_NOUSEROVERRIDE 0x80000000u
#define DATE_SHORTDATE 0x00000001
#define DATE_LONGDATE 0x00000002
#define DATE_YEARMONTH 0x00000008
#define TIME_NOMINUTESORSECONDS 0x00000001
#define TIME_NOSECONDS 0x00000002
#define TIME_NOTIMEMARKER 0x00000004
#define TIME_FORCE24HOURFORMAT 0x00000008

// en-US for every locale. date null = now (local). With format null: DATE_SHORTDATE "M/d/yyyy" (default),
// DATE_LONGDATE "dddd, MMMM d, yyyy", DATE_YEARMONTH "MMMM, yyyy"; time "h:mm:ss tt". Pictures: d dd ddd
// dddd M MM MMM MMMM y yy yyyy gg; h hh H HH m mm s ss t tt; text in single quotes ('' for a quote).
// Returns the characters written with the terminator; size 0 asks for the size needed.
KXAPI int GetDateFormat(LCID locale, DWORD flags, const SYSTEMTIME* date, LPCSTR format, LPSTR buffer, int size);
inline constexpr auto& GetDateFormatA = GetDateFormat;
KXAPI int GetTimeFormat(LCID locale, DWORD flags, const SYSTEMTIME* time, LPCSTR format, LPSTR buffer, int size);
inline constexpr auto& GetTimeFormatA = GetTimeFormat;

namespace kx {
// FILETIME (100 ns since 1601-01-01 UTC) <-> Unix time.
KXAPI FILETIME FileTimeFromUnix(int64_t seconds, int64_t nanoseconds);
KXAPI void UnixFromFileTime(const FILETIME& ft, int64_t* seconds, int64_t* nanoseconds);
inline uint64_t FileTimeValue(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
inline FILETIME FileTimeOf(uint64_t v) {
  return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
}
// Tests: freezes the clock of GetSystemTime/GetLocalTime/GetSystemTimeAsFileTime at a UTC instant; null
// returns to the real clock.
KXAPI void SetSystemTimeForTests(const FILETIME* utc);
}  // namespace kx
