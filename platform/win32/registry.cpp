#include "platform/win32/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "platform/win32/stateroot.h"
#include "platform/win32/wintime.h"

namespace {

constexpr LSTATUS kIoFailed = 1016;  // ERROR_REGISTRY_IO_FAILED
constexpr int64_t kRootId = 1;
constexpr ACCESS_MASK kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

std::string Fold(const std::string& s) {
  std::string f = s;
  for (auto& c : f)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return f;
}

struct Hive {
  std::mutex mu;
  sqlite3* db = nullptr;
  bool machine = false;
  bool readOnly = false;
  bool batched = false;  // holds the open transaction of a RegistryBatch
  std::string path;      // the database file
  std::string building;  // made in a batch: the file it is built in beside path until the batch ends
  ~Hive() {
    if (db) sqlite3_close(db);
    // Its batch never ended: nothing of it was ever in place.
    if (!building.empty())
      for (const char* suffix : {"", "-journal", "-wal", "-shm"}) unlink((building + suffix).c_str());
  }
};

class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
  ~Stmt() { sqlite3_finalize(s_); }
  bool ok() const { return rc_ == SQLITE_OK; }
  Stmt& Bind(int i, int64_t v) { sqlite3_bind_int64(s_, i, v); return *this; }
  Stmt& Bind(int i, const std::string& v) { sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT); return *this; }
  Stmt& BindBlob(int i, const void* p, size_t n) {
    sqlite3_bind_blob(s_, i, n ? p : "", static_cast<int>(n), SQLITE_TRANSIENT);
    return *this;
  }
  Stmt& BindNull(int i) { sqlite3_bind_null(s_, i); return *this; }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return rc_ == SQLITE_OK ? sqlite3_step(s_) : rc_; }
  int64_t Int(int c) { return sqlite3_column_int64(s_, c); }
  std::string Text(int c) {
    auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, c));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(s_, c))) : std::string();
  }
  std::vector<BYTE> Blob(int c) {
    auto* p = static_cast<const BYTE*>(sqlite3_column_blob(s_, c));
    int n = sqlite3_column_bytes(s_, c);
    return p ? std::vector<BYTE>(p, p + n) : std::vector<BYTE>();
  }
  bool IsNull(int c) { return sqlite3_column_type(s_, c) == SQLITE_NULL; }

 private:
  sqlite3_stmt* s_ = nullptr;
  int rc_;
};

LSTATUS FromSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK: case SQLITE_DONE: case SQLITE_ROW: return ERROR_SUCCESS;
    case SQLITE_READONLY: case SQLITE_PERM: case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    case SQLITE_FULL: return ERROR_DISK_FULL;
    default: return kIoFailed;
  }
}

bool Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

std::atomic<int> g_batchDepth{0};

// One write transaction; rolled back unless committed. While a RegistryBatch is open it is a savepoint in the
// hive's batch transaction instead, committed (and synced) with the batch.
class Tx {
 public:
  explicit Tx(Hive& h) : db_(h.db) {
    if (g_batchDepth.load() > 0 && !h.batched && sqlite3_get_autocommit(db_)) {
      if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK) h.batched = true;
    }
    nested_ = h.batched;
    rc_ = sqlite3_exec(db_, nested_ ? "SAVEPOINT kx_write" : "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  }
  ~Tx() {
    if (rc_ == SQLITE_OK && !done_) Rollback();
  }
  int rc() const { return rc_; }
  int Commit() {
    done_ = true;
    int rc = sqlite3_exec(db_, nested_ ? "RELEASE kx_write" : "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Rollback();
    return rc;
  }

 private:
  void Rollback() {
    if (nested_) {
      Exec(db_, "ROLLBACK TO kx_write");
      Exec(db_, "RELEASE kx_write");
    } else {
      Exec(db_, "ROLLBACK");
    }
  }

  sqlite3* db_;
  int rc_;
  bool nested_ = false;
  bool done_ = false;
};

int64_t NowStamp() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return static_cast<int64_t>(kx::FileTimeValue(ft));
}

int64_t ChildOf(Hive& h, int64_t parent, const std::string& name) {
  Stmt s(h.db, "SELECT id FROM keys WHERE parent=?1 AND fold=?2");
  s.Bind(1, parent).Bind(2, Fold(name));
  return s.Step() == SQLITE_ROW ? s.Int(0) : 0;
}

bool KeyExists(Hive& h, int64_t id) {
  Stmt s(h.db, "SELECT 1 FROM keys WHERE id=?1");
  s.Bind(1, id);
  return s.Step() == SQLITE_ROW;
}

int64_t CreateChild(Hive& h, int64_t parent, const std::string& name, const std::string& owner, const std::string& acl) {
  Stmt s(h.db, "INSERT INTO keys(parent,name,fold,owner,acl,written) VALUES(?1,?2,?3,?4,?5,?6)");
  s.Bind(1, parent).Bind(2, name).Bind(3, Fold(name)).Bind(4, owner).Bind(6, NowStamp());
  if (acl.empty()) s.BindNull(5);
  else s.Bind(5, acl);
  if (s.Step() != SQLITE_DONE) return 0;
  return sqlite3_last_insert_rowid(h.db);
}

bool SplitPath(const char* sub, std::vector<std::string>* parts) {
  parts->clear();
  if (!sub) return true;
  std::string p = sub;
  if (!p.empty() && p[0] == '\\') return false;
  size_t i = 0;
  while (i <= p.size()) {
    size_t j = p.find('\\', i);
    if (j == std::string::npos) j = p.size();
    if (j > i) parts->push_back(p.substr(i, j - i));
    i = j + 1;
  }
  return true;
}

// Seeds a fresh hive with the keys the platform always has.
void Seed(Hive& h) {
  if (h.machine) {
    int64_t sw = CreateChild(h, kRootId, "SOFTWARE", "", "");
    if (sw) CreateChild(h, sw, "Classes", "", "");
    CreateChild(h, kRootId, "SYSTEM", "", "");
    return;
  }
  int64_t id = kRootId;
  for (const char* part : {"Software", "Microsoft", "Windows", "CurrentVersion", "Explorer", "Shell Folders"}) {
    int64_t c = ChildOf(h, id, part);
    id = c ? c : CreateChild(h, id, part, "", "");
    if (!id) return;
  }
  std::string docs = kx::DocumentsDir();
  Stmt s(h.db, "INSERT OR IGNORE INTO vals(key,name,fold,type,data) VALUES(?1,'Personal','personal',?2,?3)");
  s.Bind(1, id).Bind(2, REG_SZ).BindBlob(3, docs.c_str(), docs.size() + 1);
  s.Step();
}

const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, name TEXT NOT NULL,"
    " fold TEXT NOT NULL, owner TEXT, acl TEXT, written INTEGER, UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals(id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL, name TEXT NOT NULL,"
    " fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB, UNIQUE(key, fold));";

// Hives a first start in a process that is gone was building beside their place.
void RemoveStaleBuilds(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  const std::string prefix = "registry.db.new-";
  std::vector<std::string> stale;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
    if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) stale.push_back(dir + "/" + name);
  }
  closedir(d);
  for (const std::string& f : stale) unlink(f.c_str());
}

void RemoveBuild(const std::string& file) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) unlink((file + suffix).c_str());
}

bool SetUp(Hive& h, bool fresh) {
  // Both journal modes keep a killed writer's transaction out: a write-ahead log for the user's own hive, a
  // kept rollback journal for the machine hive, which users without write access to its folder must still
  // be able to read. A file made just now holds nothing to lose: its journal mode is set without syncing, and
  // one built aside takes no sync until it is moved into place.
  if (fresh) Exec(h.db, "PRAGMA synchronous=OFF");
  Exec(h.db, h.machine ? "PRAGMA journal_mode=PERSIST" : "PRAGMA journal_mode=WAL");
  if (h.building.empty()) Exec(h.db, "PRAGMA synchronous=NORMAL");
  return true;
}

std::shared_ptr<Hive> OpenHive(bool machine) {
  std::string dir = machine ? kx::MachineStateDir() : kx::UserStateDir();
  std::string path = dir + "/registry.db";
  bool exists = access(path.c_str(), F_OK) == 0;
  bool admin = kx::IsAdministrator();
  auto h = std::make_shared<Hive>();
  h->machine = machine;
  h->path = path;
  bool readOnly = machine && !admin;
  if (readOnly && !exists) return nullptr;
  std::string file = path;
  if (!readOnly && !exists) {
    RemoveStaleBuilds(dir);
    // Made during a batch: built beside its place, moved there whole when the batch ends (a first start's
    // defaults then cost a sync of the file and one of the folder, and a crash part way leaves no hive
    // rather than half of one).
    if (g_batchDepth.load() > 0) {
      h->building = file = path + ".new-" + std::to_string(getpid());
      RemoveBuild(file);
    }
    int fd = open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, machine ? 0644 : 0600);
    if (fd < 0) return nullptr;
    fchmod(fd, machine ? 0644 : 0600);
    close(fd);
  }
  int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(file.c_str(), &h->db, flags, nullptr) != SQLITE_OK) {
    if (h->db) sqlite3_close(h->db);
    h->db = nullptr;
    if (readOnly || !h->building.empty() ||
        sqlite3_open_v2(path.c_str(), &h->db, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
      if (!h->building.empty()) RemoveBuild(h->building);
      return nullptr;
    }
    readOnly = true;
  }
  h->readOnly = readOnly;
  sqlite3_busy_timeout(h->db, 10000);
  if (!readOnly) {
    SetUp(*h, !exists);
    Tx tx(*h);
    if (tx.rc() != SQLITE_OK) return nullptr;
    if (!Exec(h->db, kSchema)) return nullptr;
    Stmt root(h->db, "INSERT OR IGNORE INTO keys(id,parent,name,fold,written) VALUES(1,0,'','',0)");
    root.Step();
    if (sqlite3_changes(h->db) > 0) Seed(*h);
    if (tx.Commit() != SQLITE_OK) return nullptr;
  } else {
    Stmt s(h->db, "SELECT 1 FROM keys WHERE id=1");
    if (s.Step() != SQLITE_ROW) return nullptr;
  }
  return h;
}

// Moves a hive built aside into its place (its committed batch in it): the file synced, linked under its name
// unless another process made the hive meanwhile (then that one is used), the folder synced, and the
// connection opened again on it. The caller holds the hive's lock.
void MoveIntoPlace(Hive& h) {
  // Closing writes a write-ahead log into the file and removes it.
  sqlite3_close(h.db);
  h.db = nullptr;
  const std::string from = h.building;
  h.building.clear();
  bool synced = false;
  int fd = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    synced = fdatasync(fd) == 0;
    close(fd);
  }
  if (synced && link(from.c_str(), h.path.c_str()) != 0 && errno != EEXIST) rename(from.c_str(), h.path.c_str());
  RemoveBuild(from);
  const std::string dir = h.path.substr(0, h.path.rfind('/'));
  fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  if (sqlite3_open_v2(h.path.c_str(), &h.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(h.db, 10000);
    SetUp(h, false);
  } else {
    // Nothing to open: every later call on this hive fails, on an empty database of no file.
    if (h.db) sqlite3_close(h.db);
    h.db = nullptr;
    sqlite3_open(":memory:", &h.db);
    h.readOnly = true;
  }
}

std::mutex g_hivesMutex;
std::shared_ptr<Hive> g_hives[2];

std::shared_ptr<Hive> GetHive(bool machine) {
  static const bool registered = [] {
    kx::OnStateRootChanged([] {
      std::lock_guard<std::mutex> lock(g_hivesMutex);
      g_hives[0].reset();
      g_hives[1].reset();
    });
    return true;
  }();
  (void)registered;
  std::lock_guard<std::mutex> lock(g_hivesMutex);
  auto& slot = g_hives[machine ? 1 : 0];
  // A read-only machine hive is opened again when this process becomes able to write it.
  if (slot && machine && slot->readOnly && kx::IsAdministrator()) slot.reset();
  if (!slot) slot = OpenHive(machine);
  return slot;
}

struct KeyHandle {
  uint64_t magic = 0x4B584B4559484E44ull;
  std::shared_ptr<Hive> hive;
  int64_t id = 0;
  ACCESS_MASK granted = 0;
};
std::mutex g_handlesMutex;
std::set<KeyHandle*>& Handles() {
  static auto* s = new std::set<KeyHandle*>();
  return *s;
}

std::string EncodeAcl(const std::vector<kx::AccessEntry>& list) {
  std::string out;
  for (const auto& e : list) {
    char buf[32];
    snprintf(buf, sizeof buf, "%c:%08X:", e.deny ? 'D' : 'A', e.mask);
    if (!out.empty()) out += ";";
    out += buf + e.sid;
  }
  return out;
}

std::vector<kx::AccessEntry> DecodeAcl(const std::string& text) {
  std::vector<kx::AccessEntry> out;
  if (text == "-") return {{"", 0, false}};  // an empty list: an entry that matches nobody
  size_t i = 0;
  while (i < text.size()) {
    size_t j = text.find(';', i);
    if (j == std::string::npos) j = text.size();
    std::string item = text.substr(i, j - i);
    if (item.size() > 11 && item[1] == ':' && item[10] == ':')
      out.push_back({item.substr(11), static_cast<ACCESS_MASK>(strtoul(item.substr(2, 8).c_str(), nullptr, 16)),
                     item[0] == 'D'});
    i = j + 1;
  }
  return out;
}

std::vector<kx::AccessEntry> DefaultAcl(const Hive& h) {
  if (h.machine)
    return {{"S-1-1-0", KEY_READ, false}, {"S-1-5-32-544", KEY_ALL_ACCESS, false}, {"S-1-5-18", KEY_ALL_ACCESS, false}};
  return {{"S-1-1-0", KEY_ALL_ACCESS, false}};
}

std::vector<kx::AccessEntry> AclOf(Hive& h, int64_t id, std::string* owner = nullptr) {
  Stmt s(h.db, "SELECT acl, owner FROM keys WHERE id=?1");
  s.Bind(1, id);
  if (s.Step() == SQLITE_ROW) {
    if (owner) *owner = s.Text(1);
    if (!s.IsNull(0)) return DecodeAcl(s.Text(0));
  }
  return {};
}

ACCESS_MASK RightsOn(Hive& h, int64_t id) {
  auto acl = AclOf(h, id);
  ACCESS_MASK r = kx::GrantedAccess(acl.empty() ? DefaultAcl(h) : acl, kx::CurrentTokenSids());
  if (h.readOnly) r &= ~kWriteRights;
  return r;
}

ACCESS_MASK MapGeneric(REGSAM desired) {
  ACCESS_MASK m = desired & ~(KEY_WOW64_64KEY | KEY_WOW64_32KEY);
  if (m & GENERIC_READ) m = (m & ~GENERIC_READ) | KEY_READ;
  if (m & GENERIC_WRITE) m = (m & ~GENERIC_WRITE) | KEY_WRITE;
  if (m & GENERIC_EXECUTE) m = (m & ~GENERIC_EXECUTE) | KEY_EXECUTE;
  if (m & GENERIC_ALL) m = (m & ~GENERIC_ALL) | KEY_ALL_ACCESS;
  return m;
}

// The rights a handle gets for a desired access on key id, or false when they are not granted.
bool Grant(Hive& h, int64_t id, REGSAM desired, ACCESS_MASK* granted) {
  ACCESS_MASK rights = RightsOn(h, id);
  ACCESS_MASK want = MapGeneric(desired);
  if (want & MAXIMUM_ALLOWED) {
    *granted = rights;
    return rights != 0;
  }
  if (want & ~rights) return false;
  *granted = want;
  return true;
}

// What a key handle (or a predefined key) stands for.
struct Resolved {
  std::shared_ptr<Hive> hive;
  int64_t id = 0;
  ACCESS_MASK granted = 0;
  LSTATUS status = ERROR_SUCCESS;
};

int64_t FindPath(Hive& h, int64_t from, const std::vector<std::string>& parts) {
  int64_t id = from;
  for (const auto& p : parts) {
    id = ChildOf(h, id, p);
    if (!id) return 0;
  }
  return id;
}

Resolved Resolve(HKEY key) {
  Resolved r;
  auto v = reinterpret_cast<ULONG_PTR>(key);
  if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT) {
    bool machine = key != HKEY_CURRENT_USER;
    r.hive = GetHive(machine);
    if (!r.hive) {
      r.status = machine ? ERROR_FILE_NOT_FOUND : kIoFailed;
      return r;
    }
    std::lock_guard<std::mutex> lock(r.hive->mu);
    r.id = key == HKEY_CLASSES_ROOT ? FindPath(*r.hive, kRootId, {"SOFTWARE", "Classes"}) : kRootId;
    if (!r.id) {
      r.status = ERROR_FILE_NOT_FOUND;
      return r;
    }
    r.granted = RightsOn(*r.hive, r.id);
    return r;
  }
  (void)v;
  std::lock_guard<std::mutex> lock(g_handlesMutex);
  auto* k = reinterpret_cast<KeyHandle*>(key);
  if (!key || !Handles().count(k)) {
    r.status = ERROR_INVALID_HANDLE;
    return r;
  }
  r.hive = k->hive;
  r.id = k->id;
  r.granted = k->granted;
  return r;
}

HKEY NewHandle(const std::shared_ptr<Hive>& hive, int64_t id, ACCESS_MASK granted) {
  auto* k = new KeyHandle();
  k->hive = hive;
  k->id = id;
  k->granted = granted;
  std::lock_guard<std::mutex> lock(g_handlesMutex);
  Handles().insert(k);
  return reinterpret_cast<HKEY>(k);
}

// Runs fn on the key with the hive locked after checking the handle's rights and that the key still exists.
template <typename Fn>
LSTATUS WithKey(HKEY key, ACCESS_MASK need, Fn fn) {
  Resolved r = Resolve(key);
  if (r.status != ERROR_SUCCESS) return r.status;
  if ((r.granted & need) != need) return ERROR_ACCESS_DENIED;
  std::lock_guard<std::mutex> lock(r.hive->mu);
  if (r.id != kRootId && !KeyExists(*r.hive, r.id)) return ERROR_KEY_DELETED;
  return fn(*r.hive, r.id);
}

std::string ValueName(LPCSTR name) { return name ? std::string(name) : std::string(); }

LSTATUS CopyBytes(const std::vector<BYTE>& v, LPBYTE data, LPDWORD size) {
  if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  DWORD have = *size;
  *size = static_cast<DWORD>(v.size());
  if (!data) return ERROR_SUCCESS;
  if (have < v.size()) return ERROR_MORE_DATA;
  if (!v.empty()) memcpy(data, v.data(), v.size());
  return ERROR_SUCCESS;
}

void Touch(Hive& h, int64_t id) {
  Stmt s(h.db, "UPDATE keys SET written=?1 WHERE id=?2");
  s.Bind(1, NowStamp()).Bind(2, id);
  s.Step();
}

// All keys below id (not id itself), deepest last.
std::vector<int64_t> Descendants(Hive& h, int64_t id) {
  std::vector<int64_t> out;
  Stmt s(h.db,
         "WITH RECURSIVE t(id) AS (SELECT id FROM keys WHERE parent=?1 UNION ALL "
         "SELECT k.id FROM keys k JOIN t ON k.parent=t.id) SELECT id FROM t");
  s.Bind(1, id);
  while (s.Step() == SQLITE_ROW) out.push_back(s.Int(0));
  return out;
}

LSTATUS DeleteKeys(Hive& h, const std::vector<int64_t>& ids) {
  for (int64_t id : ids) {
    Stmt v(h.db, "DELETE FROM vals WHERE key=?1");
    v.Bind(1, id);
    if (v.Step() != SQLITE_DONE) return FromSqlite(sqlite3_errcode(h.db));
    Stmt k(h.db, "DELETE FROM keys WHERE id=?1");
    k.Bind(1, id);
    if (k.Step() != SQLITE_DONE) return FromSqlite(sqlite3_errcode(h.db));
  }
  return ERROR_SUCCESS;
}

LSTATUS DeleteTree(HKEY key, LPCSTR subKey, bool recursive) {
  std::vector<std::string> parts;
  if (!SplitPath(subKey, &parts)) return ERROR_BAD_PATHNAME;
  return WithKey(key, 0, [&](Hive& h, int64_t base) -> LSTATUS {
    int64_t target = FindPath(h, base, parts);
    if (!target) return ERROR_FILE_NOT_FOUND;
    if (target == kRootId) return ERROR_ACCESS_DENIED;
    if (h.readOnly) return ERROR_ACCESS_DENIED;
    Tx tx(h);
    if (tx.rc() != SQLITE_OK) return FromSqlite(tx.rc());
    std::vector<int64_t> below = Descendants(h, target);
    if (!below.empty() && !recursive) return ERROR_ACCESS_DENIED;
    for (int64_t id : below)
      if (!(RightsOn(h, id) & DELETE)) return ERROR_ACCESS_DENIED;
    if (!(RightsOn(h, target) & DELETE)) return ERROR_ACCESS_DENIED;
    below.insert(below.begin(), target);
    LSTATUS st = DeleteKeys(h, below);
    if (st != ERROR_SUCCESS) return st;
    return FromSqlite(tx.Commit());
  });
}

// Steps an enumeration query to its row and copies the name in column 0 (ERROR_MORE_DATA when it does not fit).
LSTATUS EnumRow(Stmt& s, LPSTR name, LPDWORD nameSize) {
  int rc = s.Step();
  if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
  if (rc != SQLITE_ROW) return FromSqlite(rc);
  std::string n = s.Text(0);
  if (*nameSize < n.size() + 1) return ERROR_MORE_DATA;
  memcpy(name, n.c_str(), n.size() + 1);
  *nameSize = static_cast<DWORD>(n.size());
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegOpenKeyEx(HKEY key, LPCSTR subKey, DWORD, REGSAM desired, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::vector<std::string> parts;
  if (!SplitPath(subKey, &parts)) return ERROR_BAD_PATHNAME;
  Resolved r = Resolve(key);
  if (r.status != ERROR_SUCCESS) return r.status;
  std::lock_guard<std::mutex> lock(r.hive->mu);
  if (r.id != kRootId && !KeyExists(*r.hive, r.id)) return ERROR_KEY_DELETED;
  int64_t id = FindPath(*r.hive, r.id, parts);
  if (!id) return ERROR_FILE_NOT_FOUND;
  ACCESS_MASK granted;
  if (!Grant(*r.hive, id, desired, &granted)) return ERROR_ACCESS_DENIED;
  *result = NewHandle(r.hive, id, granted);
  return ERROR_SUCCESS;
}

LSTATUS RegOpenKey(HKEY key, LPCSTR subKey, PHKEY result) {
  return RegOpenKeyEx(key, subKey, 0, MAXIMUM_ALLOWED, result);
}

LSTATUS RegCreateKeyEx(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM desired,
                       const SECURITY_ATTRIBUTES* security, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::vector<std::string> parts;
  if (!SplitPath(subKey, &parts)) return ERROR_BAD_PATHNAME;
  std::string acl;
  if (security && security->lpSecurityDescriptor) {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(security->lpSecurityDescriptor, &present, &dacl, &defaulted))
      return ERROR_INVALID_SECURITY_DESCR;
    if (present) {
      // A present but null list grants everyone everything.
      acl = dacl ? EncodeAcl(kx::AccessEntriesOf(dacl)) : EncodeAcl({{"S-1-1-0", KEY_ALL_ACCESS | STANDARD_RIGHTS_ALL, false}});
      if (acl.empty()) acl.assign(1, '-');  // an empty list: nobody has access
    }
  }
  Resolved r = Resolve(key);
  if (r.status == ERROR_FILE_NOT_FOUND && key != HKEY_CURRENT_USER && !kx::IsAdministrator())
    return ERROR_ACCESS_DENIED;  // no machine hive yet, and this user may not make one
  if (r.status != ERROR_SUCCESS) return r.status;
  std::lock_guard<std::mutex> lock(r.hive->mu);
  Hive& h = *r.hive;
  if (r.id != kRootId && !KeyExists(h, r.id)) return ERROR_KEY_DELETED;
  int64_t id = r.id;
  size_t i = 0;
  for (; i < parts.size(); ++i) {
    int64_t c = ChildOf(h, id, parts[i]);
    if (!c) break;
    id = c;
  }
  ACCESS_MASK granted;
  if (i == parts.size()) {
    if (!Grant(h, id, desired, &granted)) return ERROR_ACCESS_DENIED;
    *result = NewHandle(r.hive, id, granted);
    if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  }
  if (h.readOnly) return ERROR_ACCESS_DENIED;
  if (id == r.id && !(r.granted & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
  Tx tx(h);
  if (tx.rc() != SQLITE_OK) return FromSqlite(tx.rc());
  // Another process may have made part of the path meanwhile.
  for (; i < parts.size(); ++i) {
    int64_t c = ChildOf(h, id, parts[i]);
    if (!c) {
      if (!(RightsOn(h, id) & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
      bool last = i + 1 == parts.size();
      c = CreateChild(h, id, parts[i], kx::CurrentUserSid(), last ? acl : std::string());
      if (!c) return FromSqlite(sqlite3_errcode(h.db));
      Touch(h, id);
    }
    id = c;
  }
  if (!Grant(h, id, desired, &granted)) return ERROR_ACCESS_DENIED;
  int rc = tx.Commit();
  if (rc != SQLITE_OK) return FromSqlite(rc);
  *result = NewHandle(r.hive, id, granted);
  if (disposition) *disposition = REG_CREATED_NEW_KEY;
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKey(HKEY key, LPCSTR subKey, PHKEY result) {
  return RegCreateKeyEx(key, subKey, 0, nullptr, 0, MAXIMUM_ALLOWED, nullptr, result, nullptr);
}

LSTATUS RegCloseKey(HKEY key) {
  if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
  KeyHandle* k = reinterpret_cast<KeyHandle*>(key);
  {
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    if (!key || !Handles().erase(k)) return ERROR_INVALID_HANDLE;
  }
  delete k;
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueEx(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (data && !size) return ERROR_INVALID_PARAMETER;
  return WithKey(key, KEY_QUERY_VALUE, [&](Hive& h, int64_t id) -> LSTATUS {
    Stmt s(h.db, "SELECT type, data FROM vals WHERE key=?1 AND fold=?2");
    s.Bind(1, id).Bind(2, Fold(ValueName(name)));
    int rc = s.Step();
    if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
    if (rc != SQLITE_ROW) return FromSqlite(rc);
    if (type) *type = static_cast<DWORD>(s.Int(0));
    return CopyBytes(s.Blob(1), data, size);
  });
}

LSTATUS RegSetValueEx(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  if (!data && size) return ERROR_NOACCESS;
  return WithKey(key, KEY_SET_VALUE, [&](Hive& h, int64_t id) -> LSTATUS {
    if (h.readOnly) return ERROR_ACCESS_DENIED;
    std::string n = ValueName(name);
    {
      // A value that is already there as it stands is not written again (no transaction, no sync).
      Stmt same(h.db, "SELECT 1 FROM vals WHERE key=?1 AND fold=?2 AND type=?3 AND data=?4");
      same.Bind(1, id).Bind(2, Fold(n)).Bind(3, type).BindBlob(4, data, size);
      if (same.Step() == SQLITE_ROW) return ERROR_SUCCESS;
    }
    Tx tx(h);
    if (tx.rc() != SQLITE_OK) return FromSqlite(tx.rc());
    Stmt s(h.db,
           "INSERT INTO vals(key,name,fold,type,data) VALUES(?1,?2,?3,?4,?5) "
           "ON CONFLICT(key,fold) DO UPDATE SET type=excluded.type, data=excluded.data");
    s.Bind(1, id).Bind(2, n).Bind(3, Fold(n)).Bind(4, type).BindBlob(5, data, size);
    int rc = s.Step();
    if (rc != SQLITE_DONE) return FromSqlite(rc);
    Touch(h, id);
    return FromSqlite(tx.Commit());
  });
}

LSTATUS RegQueryValue(HKEY key, LPCSTR subKey, LPSTR data, PLONG size) {
  HKEY sub = key;
  bool opened = false;
  if (subKey && *subKey) {
    LSTATUS st = RegOpenKeyEx(key, subKey, 0, KEY_QUERY_VALUE, &sub);
    if (st != ERROR_SUCCESS) return st;
    opened = true;
  }
  DWORD type = 0, cb = size ? static_cast<DWORD>(*size) : 0;
  LSTATUS st = RegQueryValueEx(sub, "", nullptr, &type, reinterpret_cast<LPBYTE>(data), size ? &cb : nullptr);
  if (st == ERROR_FILE_NOT_FOUND) {
    // A key without a default value reads as an empty text.
    st = ERROR_SUCCESS;
    cb = 1;
    if (data && size && *size >= 1) data[0] = 0;
    else if (data && size) st = ERROR_MORE_DATA;
  }
  if (size && (st == ERROR_SUCCESS || st == ERROR_MORE_DATA)) *size = static_cast<LONG>(cb);
  if (opened) RegCloseKey(sub);
  return st;
}

LSTATUS RegSetValue(HKEY key, LPCSTR subKey, DWORD type, LPCSTR data, DWORD) {
  if (type != REG_SZ || !data) return ERROR_INVALID_PARAMETER;
  HKEY sub = key;
  bool opened = false;
  if (subKey && *subKey) {
    LSTATUS st = RegCreateKeyEx(key, subKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &sub, nullptr);
    if (st != ERROR_SUCCESS) return st;
    opened = true;
  }
  LSTATUS st = RegSetValueEx(sub, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(data), static_cast<DWORD>(strlen(data) + 1));
  if (opened) RegCloseKey(sub);
  return st;
}

LSTATUS RegDeleteValue(HKEY key, LPCSTR name) {
  return WithKey(key, KEY_SET_VALUE, [&](Hive& h, int64_t id) -> LSTATUS {
    if (h.readOnly) return ERROR_ACCESS_DENIED;
    Tx tx(h);
    if (tx.rc() != SQLITE_OK) return FromSqlite(tx.rc());
    Stmt s(h.db, "DELETE FROM vals WHERE key=?1 AND fold=?2");
    s.Bind(1, id).Bind(2, Fold(ValueName(name)));
    int rc = s.Step();
    if (rc != SQLITE_DONE) return FromSqlite(rc);
    if (sqlite3_changes(h.db) == 0) return ERROR_FILE_NOT_FOUND;
    Touch(h, id);
    return FromSqlite(tx.Commit());
  });
}

LSTATUS RegDeleteKey(HKEY key, LPCSTR subKey) { return DeleteTree(key, subKey, false); }

LSTATUS SHDeleteKey(HKEY key, LPCSTR subKey) { return DeleteTree(key, subKey, true); }

LSTATUS RegEnumKeyEx(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPSTR keyClass, LPDWORD classSize,
                     LPFILETIME lastWrite) {
  if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
  return WithKey(key, KEY_ENUMERATE_SUB_KEYS, [&](Hive& h, int64_t id) -> LSTATUS {
    Stmt s(h.db, "SELECT name, written FROM keys WHERE parent=?1 ORDER BY fold, name LIMIT 1 OFFSET ?2");
    s.Bind(1, id).Bind(2, index);
    LSTATUS st = EnumRow(s, name, nameSize);
    if (st != ERROR_SUCCESS) return st;
    if (keyClass && classSize && *classSize > 0) keyClass[0] = 0;
    if (classSize) *classSize = 0;
    if (lastWrite) *lastWrite = kx::FileTimeOf(static_cast<uint64_t>(s.Int(1)));
    return ERROR_SUCCESS;
  });
}

LSTATUS RegEnumKey(HKEY key, DWORD index, LPSTR name, DWORD nameSize) {
  return RegEnumKeyEx(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
}

LSTATUS RegEnumValue(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPDWORD type, LPBYTE data,
                     LPDWORD dataSize) {
  if (!name || !nameSize || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  return WithKey(key, KEY_QUERY_VALUE, [&](Hive& h, int64_t id) -> LSTATUS {
    Stmt s(h.db, "SELECT name, type, data FROM vals WHERE key=?1 ORDER BY id LIMIT 1 OFFSET ?2");
    s.Bind(1, id).Bind(2, index);
    LSTATUS st = EnumRow(s, name, nameSize);
    if (st != ERROR_SUCCESS) return st;
    if (type) *type = static_cast<DWORD>(s.Int(1));
    return CopyBytes(s.Blob(2), data, dataSize);
  });
}

LSTATUS RegQueryInfoKey(HKEY key, LPSTR keyClass, LPDWORD classSize, LPDWORD, LPDWORD subKeys, LPDWORD maxSubKeyLen,
                        LPDWORD maxClassLen, LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                        LPDWORD securityDescriptorSize, LPFILETIME lastWrite) {
  return WithKey(key, KEY_QUERY_VALUE, [&](Hive& h, int64_t id) -> LSTATUS {
    Stmt k(h.db, "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))),0) FROM keys WHERE parent=?1");
    k.Bind(1, id);
    if (k.Step() != SQLITE_ROW) return kIoFailed;
    Stmt v(h.db,
           "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))),0), coalesce(max(length(data)),0) FROM vals "
           "WHERE key=?1");
    v.Bind(1, id);
    if (v.Step() != SQLITE_ROW) return kIoFailed;
    Stmt w(h.db, "SELECT written FROM keys WHERE id=?1");
    w.Bind(1, id);
    int64_t written = w.Step() == SQLITE_ROW ? w.Int(0) : 0;
    if (keyClass && classSize && *classSize > 0) keyClass[0] = 0;
    if (classSize) *classSize = 0;
    if (subKeys) *subKeys = static_cast<DWORD>(k.Int(0));
    if (maxSubKeyLen) *maxSubKeyLen = static_cast<DWORD>(k.Int(1));
    if (maxClassLen) *maxClassLen = 0;
    if (values) *values = static_cast<DWORD>(v.Int(0));
    if (maxValueNameLen) *maxValueNameLen = static_cast<DWORD>(v.Int(1));
    if (maxValueLen) *maxValueLen = static_cast<DWORD>(v.Int(2));
    if (securityDescriptorSize) *securityDescriptorSize = 0;
    if (lastWrite) *lastWrite = kx::FileTimeOf(static_cast<uint64_t>(written));
    return ERROR_SUCCESS;
  });
}

LSTATUS RegFlushKey(HKEY key) {
  return WithKey(key, 0, [](Hive&, int64_t) -> LSTATUS { return ERROR_SUCCESS; });
}

namespace kx {

LSTATUS RegGetKeyAccessList(HKEY key, std::string* owner, std::vector<AccessEntry>* entries) {
  return WithKey(key, 0, [&](Hive& h, int64_t id) -> LSTATUS {
    std::string o;
    auto acl = AclOf(h, id, &o);
    if (owner) *owner = o;
    if (entries) *entries = acl;
    return ERROR_SUCCESS;
  });
}

bool RegReadValue(HKEY root, const std::string& path, const char* name, std::string* data, DWORD* type) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  std::string bytes;
  DWORD t = 0, size = 0;
  LSTATUS rc = RegQueryValueEx(key, name, nullptr, &t, nullptr, &size);
  // Another process may make the value longer between the two calls: ask again with the new size.
  while (rc == ERROR_SUCCESS) {
    bytes.resize(size);
    rc = RegQueryValueEx(key, name, nullptr, &t, reinterpret_cast<BYTE*>(bytes.data()), &size);
    if (rc != ERROR_MORE_DATA) break;
    rc = ERROR_SUCCESS;
  }
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return false;
  bytes.resize(size);
  *data = std::move(bytes);
  if (type) *type = t;
  return true;
}

bool RegReadString(HKEY root, const std::string& path, const char* name, std::string* out) {
  std::string bytes;
  DWORD type = 0;
  if (!RegReadValue(root, path, name, &bytes, &type) || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  out->assign(bytes.c_str(), strnlen(bytes.c_str(), bytes.size()));
  return true;
}

bool RegReadDword(HKEY root, const std::string& path, const char* name, DWORD* out) {
  std::string bytes;
  DWORD type = 0;
  if (!RegReadValue(root, path, name, &bytes, &type) || type != REG_DWORD || bytes.size() != sizeof(DWORD))
    return false;
  memcpy(out, bytes.data(), sizeof(DWORD));
  return true;
}

RegistryBatch::RegistryBatch() { ++g_batchDepth; }

RegistryBatch::~RegistryBatch() {
  if (--g_batchDepth > 0) return;
  std::vector<std::shared_ptr<Hive>> hives;
  {
    std::lock_guard<std::mutex> lock(g_hivesMutex);
    for (auto& h : g_hives)
      if (h) hives.push_back(h);
  }
  for (auto& h : hives) {
    std::lock_guard<std::mutex> lock(h->mu);
    if (h->batched) {
      h->batched = false;
      if (!Exec(h->db, "COMMIT")) Exec(h->db, "ROLLBACK");
    }
    if (!h->building.empty()) MoveIntoPlace(*h);
  }
}

}  // namespace kx
