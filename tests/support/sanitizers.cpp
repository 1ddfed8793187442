// The sanitizers' settings for every test program built with them, and for the programs the tests start: any
// report ends the program with a stack trace; the suppressions (tests/support/lsan.supp, tsan.supp) name
// third-party code only. The runtimes ask for these before the program's own start-up, so they are plain constant texts.
#include <cstdlib>

#ifndef KX_SOURCE_DIR_DEFAULT
#define KX_SOURCE_DIR_DEFAULT "."
#endif

namespace {

constexpr const char* kAsanOptions = "detect_leaks=1:check_initialization_order=1:detect_invalid_pointer_pairs=0";
constexpr const char* kUbsanOptions = "print_stacktrace=1:halt_on_error=1";
constexpr const char* kLsanOptions = "print_suppressions=0:suppressions=" KX_SOURCE_DIR_DEFAULT "/tests/support/lsan.supp";
constexpr const char* kTsanOptions =
    "halt_on_error=1:second_deadlock_stack=1:suppressions=" KX_SOURCE_DIR_DEFAULT "/tests/support/tsan.supp";

}  // namespace

extern "C" {
__attribute__((visibility("default"), used)) const char* __asan_default_options() { return kAsanOptions; }
__attribute__((visibility("default"), used)) const char* __ubsan_default_options() { return kUbsanOptions; }
__attribute__((visibility("default"), used)) const char* __lsan_default_options() { return kLsanOptions; }
__attribute__((visibility("default"), used)) const char* __tsan_default_options() { return kTsanOptions; }
}

namespace kxtest {

// Programs the tests start (helpers, the host program) learn the same settings through the environment, unless
// the caller chose others.
void ShareSanitizerOptions() {
  setenv("ASAN_OPTIONS", kAsanOptions, 0);
  setenv("UBSAN_OPTIONS", kUbsanOptions, 0);
  setenv("LSAN_OPTIONS", kLsanOptions, 0);
  setenv("TSAN_OPTIONS", kTsanOptions, 0);
}

}  // namespace kxtest
