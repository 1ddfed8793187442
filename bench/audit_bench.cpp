// A batch of 200 files written with an empty audit log and with a 4 MB one (about 2650 entries): the cost of
// a file in the batch, and of its audit entry alone, should not grow with the log. Each file of the batch is
// read, encrypted with the system's own cipher layer, written beside it, and logged, as the batch workers do.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_auditlog.h"
#include "bench/bench_util.h"
#include "core/ByteBuffer.h"
#include "core/SettingsStore.h"
#include "core/SymmetricCipher.h"
#include "formats/AuditLog.h"
#include "formats/AuditLogFile.h"
#include "formats/FileManager.h"
#include "platform/com/combase.h"
#include "platform/win32/stateroot.h"

using namespace kxbench;

namespace {

constexpr int kFiles = 200;
std::string g_root, g_log;

CHiveSettings Hive() {
  CHiveSettings h("Software\\Kesmora\\OfficeTolvex");
  h.UseCurrentUser();
  return h;
}

// The log at the default path with count entries.
void PrepareLog(DWORD count) {
  WriteAuditLog(g_log.c_str(), count);
  Hive().SetString("Audit_Event_Log", "AUDIT_LOG_FILE", CString(g_log.c_str()));
}

void ProcessFile(int i) {
  std::string in = g_root + "/in/f" + std::to_string(i) + ".doc";
  std::ifstream f(in, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  CByteBuffer key(256, std::string(256, 'k').data(), true), data(static_cast<DWORD>(bytes.size()), bytes.data(), true), out;
  CSymmetricCipher cipher;
  cipher.SetAlgorithm(5, 5);
  cipher.SetKey(key);
  cipher.SetData(data);
  cipher.Encrypt(out);
  std::ofstream(in + ".Tvx", std::ios::binary).write(reinterpret_cast<const char*>(out.GetData()), out.GetLength());
  CAuditLog log;
  log.Load();
  log.LogInformation("Encrypt Operation", ("The file was encrypted: " + in).c_str());
}

Sample Batch(DWORD entries, bool filesToo) {
  PrepareLog(entries);
  return InChild([filesToo] {
    CoInitialize(nullptr);
    for (int i = 0; i < kFiles; ++i) {
      if (filesToo) {
        ProcessFile(i);
      } else {
        CAuditLog log;
        log.Load();
        log.LogInformation("Encrypt Operation", "The file was encrypted");
      }
    }
    CoUninitialize();
  });
}

}  // namespace

int main() {
  g_root = TempRoot("audit");
  setenv("KESMORA_ROOT", g_root.c_str(), 1);
  kx::NotifyStateRootChanged();
  CoInitialize(nullptr);
  mkdir((g_root + "/in").c_str(), 0755);
  mkdir((g_root + "/oneclick").c_str(), 0755);
  Hive().SetString("OneClickManager", "OneClickFolder", CString((g_root + "/oneclick").c_str()));
  g_log = g_root + "/oneclick/OfficeTolvex.Alf";
  std::string content(64 * 1024, 'x');
  for (int i = 0; i < kFiles; ++i) std::ofstream(g_root + "/in/f" + std::to_string(i) + ".doc") << content;
  const DWORD big = (4u << 20) / CAuditLogEntry::GetSize();
  const int runs = Runs();
  std::printf("batch of %d files of 64 KiB; the large log holds %u entries (%.1f MB)\n", kFiles, big,
              (45.0 + 1584.0 * big) / 1e6);
  double batch = Compare("batch, 4 MB log vs empty log", runs, [&] { return Batch(big, true); }, "empty log",
                         [&] { return Batch(0, true); });
  double entries = Compare("200 entries alone, 4 MB vs empty", runs, [&] { return Batch(big, false); }, "empty log",
                           [&] { return Batch(0, false); });
  std::printf("target: batch file cost with a 4 MB log within 1.10x of an empty log: %.2fx %s (entries alone %.2fx)\n",
              batch, batch <= 1.10 ? "met" : "NOT met", entries);
  CoUninitialize();
  Shell("rm -rf '" + g_root + "'");
  return 0;
}
