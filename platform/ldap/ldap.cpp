#include "platform/ldap/ldap.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include <lber.h>
#include <ldap.h>
#include <openldap.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/store.h"
#include "platform/win32/errors.h"
#include "platform/win32/heap.h"
#include "platform/win32/registry.h"
#include "platform/win32/stateroot.h"
#include "platform/win32/textconv.h"

namespace kx::ldap {
namespace {

constexpr char kSettingsKey[] = "Software\\Kesmora\\OfficeTolvex\\CertificateManager";
constexpr char kStartTlsOid[] = "1.3.6.1.4.1.1466.20037";
constexpr char kSealTag[] = "KXS1";

using Clock = std::chrono::steady_clock;

// ---- the sealed password: AES-256-GCM under a key file of the user's own ----

std::string SealKeyPath() { return kx::UserStateDir() + "/directory.key"; }

// All of it, or false.
bool WriteAll(int fd, const void* data, size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool SealKey(bool create, unsigned char key[32]) {
  const std::string path = SealKeyPath();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    bool ok = ::read(fd, key, 32) == 32;
    ::close(fd);
    return ok;
  }
  if (!create || RAND_bytes(key, 32) != 1) return false;
  ::mkdir(kx::UserStateDir().c_str(), 0700);
  // A temporary of this process's own (mode 0600), given the key's name only when whole: two first starts
  // cannot write into each other's file, and a failed write leaves nothing behind.
  std::string temp = path + ".XXXXXX";
  fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, key, 32) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  // Another process may have made the key first: keep the one that is there.
  const bool linked = ok && ::link(temp.c_str(), path.c_str()) == 0;
  ::unlink(temp.c_str());
  if (!linked) {
    OPENSSL_cleanse(key, 32);
    return ok && SealKey(false, key);
  }
  return true;
}

bool Gcm(bool encrypt, const unsigned char* key, const unsigned char* iv, const std::string& in, std::string& out,
         unsigned char tag[16]) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  int n = 0, m = 0;
  out.assign(in.size() + 16, '\0');
  auto* o = reinterpret_cast<unsigned char*>(out.data());
  bool ok = ctx && EVP_CipherInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, key, iv, encrypt ? 1 : 0) == 1 &&
            EVP_CipherUpdate(ctx.get(), o, &n, reinterpret_cast<const unsigned char*>(in.data()),
                             static_cast<int>(in.size())) == 1 &&
            (encrypt || EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, 16, tag) == 1) &&
            EVP_CipherFinal_ex(ctx.get(), o + n, &m) == 1 &&
            (!encrypt || EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, 16, tag) == 1);
  if (!ok) OPENSSL_cleanse(out.data(), out.size());  // what a failed tag check leaves is plain text too
  out.resize(ok ? static_cast<size_t>(n + m) : 0);
  return ok;
}

// false when the password cannot be had: no key file, another key, or a damaged value.
bool UnsealPassword(const std::string& sealed, std::string& password) {
  unsigned char key[32];
  if (sealed.size() < 4 + 12 + 16 || sealed.compare(0, 4, kSealTag) != 0 || !SealKey(false, key)) return false;
  unsigned char tag[16];
  std::memcpy(tag, sealed.data() + 16, 16);
  const bool ok =
      Gcm(false, key, reinterpret_cast<const unsigned char*>(sealed.data()) + 4, sealed.substr(32), password, tag);
  OPENSSL_cleanse(key, sizeof key);
  return ok;
}

// ---- ldap.conf defaults ----

std::string GlobalText(int option) {
  char* value = nullptr;
  if (ldap_get_option(nullptr, option, &value) != LDAP_OPT_SUCCESS || !value) return {};
  std::string s = value;
  ldap_memfree(value);
  return s;
}

int GlobalNumber(int option) {
  int value = 0;
  return ldap_get_option(nullptr, option, &value) == LDAP_OPT_SUCCESS ? value : 0;
}

// Whether the environment names a server (libldap answers a default of its own when nothing does).
bool ServerInEnvironment() {
  if (getenv("LDAPNOINIT")) return false;
  if (getenv("LDAPURI") || getenv("LDAPHOST")) return true;
  std::vector<std::string> files;
  const char* conf = getenv("LDAPCONF");
  files.push_back(conf ? conf : "/etc/ldap/ldap.conf");
  if (const char* home = getenv("HOME")) {
    files.push_back(std::string(home) + "/ldaprc");
    files.push_back(std::string(home) + "/.ldaprc");
  }
  files.push_back("ldaprc");
  if (const char* rc = getenv("LDAPRC")) files.push_back(rc);
  for (const std::string& f : files) {
    std::ifstream in(f);
    std::string line;
    while (std::getline(in, line)) {
      size_t i = line.find_first_not_of(" \t");
      if (i == std::string::npos) continue;
      std::string word = line.substr(i, line.find_first_of(" \t", i) - i);
      if (EqualNoCase(word, "URI") || EqualNoCase(word, "HOST")) return true;
    }
  }
  return false;
}

// ---- the trusted roots, as a PEM file libldap can read ----

class RootsFile {
 public:
  RootsFile() {
    std::shared_ptr<kx::capi::CertStore> store;
    if (FAILED(kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_READ_ONLY, store)))
      return;
    std::string pem;
    for (const auto& e : store->Entries()) {
      BIO* bio = BIO_new(BIO_s_mem());
      PEM_write_bio_X509(bio, e.cert->x509());
      char* data = nullptr;
      long n = BIO_get_mem_data(bio, &data);
      pem.append(data, static_cast<size_t>(n));
      BIO_free(bio);
    }
    if (pem.empty()) return;  // nothing can be trusted
    std::string dir = kx::TempDir();
    std::string templ = dir + "/kxldaproots-XXXXXX";
    int fd = ::mkostemp(templ.data(), O_CLOEXEC);
    if (fd < 0) return;
    bool ok = WriteAll(fd, pem.data(), pem.size());
    ok = ::close(fd) == 0 && ok;
    if (ok) m_path = templ;
    else ::unlink(templ.c_str());  // a part of the roots trusts nothing: no file, and none left behind
  }
  ~RootsFile() {
    if (!m_path.empty()) ::unlink(m_path.c_str());
  }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

// ---- one search ----

// libldap writes with write(): a server that went away would raise SIGPIPE and end the host program. While a
// connection is open its thread holds SIGPIPE blocked, so such a write only fails; a SIGPIPE it raised is taken
// before the thread's mask is given back.
struct Handle {
  LDAP* ld = nullptr;
  Handle() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &m_mask);
  }
  ~Handle() {
    if (ld) ldap_unbind_ext_s(ld, nullptr, nullptr);
    if (!sigismember(&m_mask, SIGPIPE)) {
      sigset_t pipe;
      sigemptyset(&pipe);
      sigaddset(&pipe, SIGPIPE);
      const timespec now{};
      while (sigtimedwait(&pipe, nullptr, &now) == SIGPIPE) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &m_mask, nullptr);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

 private:
  sigset_t m_mask;
};

std::string Diagnostic(LDAP* ld, int rc) {
  std::string text = ldap_err2string(rc);
  char* diag = nullptr;
  if (ld && ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &diag) == LDAP_OPT_SUCCESS && diag) {
    if (*diag) text += std::string(": ") + diag;
    ldap_memfree(diag);
  }
  return text;
}

Status StatusOf(int rc) {
  switch (rc) {
    case LDAP_SUCCESS: return Status::Ok;
    case LDAP_TIMEOUT:
    case LDAP_TIMELIMIT_EXCEEDED: return Status::TimedOut;
    case LDAP_SERVER_DOWN:
    case LDAP_CONNECT_ERROR: return Status::Unreachable;
    case LDAP_INVALID_CREDENTIALS:
    case LDAP_INAPPROPRIATE_AUTH:
    case LDAP_STRONG_AUTH_REQUIRED:
    case LDAP_UNWILLING_TO_PERFORM: return Status::BindFailed;
    case LDAP_FILTER_ERROR:
    case LDAP_INVALID_DN_SYNTAX:
    case LDAP_PARAM_ERROR: return Status::BadAddress;
    default: return Status::Failed;
  }
}

void Fail(Result& r, Status s, const std::string& why) {
  r.status = s;
  r.message = why;
}

timeval Remaining(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
  if (left < 1000) left = 1000;
  return timeval{static_cast<time_t>(left / 1000000), static_cast<suseconds_t>(left % 1000000)};
}

// How long to wait for the next message: short enough to see a cancel flag soon.
timeval Step(Clock::time_point deadline) {
  timeval step = Remaining(deadline);
  if (step.tv_sec > 0 || step.tv_usec > 100000) step = timeval{0, 100000};
  return step;
}

// One entry of a search, and what keeping it costs: its bytes and a share for the containers around them, so
// that many tiny entries count as well as a few large ones.
size_t ReadEntry(LDAP* ld, LDAPMessage* m, Entry& e) {
  size_t cost = sizeof(Entry);
  if (char* dn = ldap_get_dn(ld, m)) {
    e.dn = dn;
    ldap_memfree(dn);
  }
  cost += e.dn.size();
  BerElement* ber = nullptr;
  for (char* a = ldap_first_attribute(ld, m, &ber); a; a = ldap_next_attribute(ld, m, ber)) {
    std::vector<std::string> values;
    if (berval** v = ldap_get_values_len(ld, m, a)) {
      for (int i = 0; v[i]; ++i) {
        values.emplace_back(v[i]->bv_val, v[i]->bv_len);
        cost += sizeof(std::string) + v[i]->bv_len;
      }
      ldap_value_free_len(v);
    }
    e.attributes.emplace_back(a, std::move(values));
    cost += sizeof(e.attributes[0]) + e.attributes.back().first.size();
    ldap_memfree(a);
  }
  if (ber) ber_free(ber, 0);
  return cost;
}

thread_local Status t_lastStatus = Status::Ok;
thread_local std::string t_lastMessage;

std::string AttributeBase(const std::string& name) {
  std::string base = name.substr(0, name.find(';'));
  return base;
}

// The filter of a directory store name, or empty when the name cannot be one. In "attribute=value" the value is
// in filter syntax (callers escape what they take literally; "*" is a wildcard), but parentheses, NUL and a
// backslash that starts no escape are made literal, so that no name can add terms of its own to the filter.
std::string StoreFilter(const std::string& name) {
  if (!name.empty() && name.front() == '(') return name;
  size_t eq = name.find('=');
  if (eq == std::string::npos || eq == 0) return {};
  const std::string attribute = name.substr(0, eq), value = name.substr(eq + 1);
  for (char c : attribute)
    if (!isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != ';') return {};
  std::string safe;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    const bool escape = c == '\\' && i + 2 < value.size() && isxdigit(static_cast<unsigned char>(value[i + 1])) &&
                        isxdigit(static_cast<unsigned char>(value[i + 2]));
    if (c == '*' || escape) safe += c;
    else safe += EscapeFilterValue(std::string(1, c));
  }
  return "(" + attribute + "=" + safe + ")";
}

// A certificate as DER, or the certificates of a PKCS#7 bundle (what userSMIMECertificate is meant to hold).
void AddCertificates(const std::string& value, std::vector<std::string>& ders) {
  const auto* p = reinterpret_cast<const unsigned char*>(value.data());
  PKCS7* p7 = d2i_PKCS7(nullptr, &p, static_cast<long>(value.size()));
  STACK_OF(X509)* certs = p7 && PKCS7_type_is_signed(p7) && p7->d.sign ? p7->d.sign->cert : nullptr;
  if (!certs) ders.push_back(value);
  for (int i = 0; i < sk_X509_num(certs); ++i) {
    unsigned char* der = nullptr;
    int n = i2d_X509(sk_X509_value(certs, i), &der);
    if (n > 0) ders.emplace_back(reinterpret_cast<char*>(der), static_cast<size_t>(n));
    OPENSSL_free(der);
  }
  PKCS7_free(p7);
}

}  // namespace

std::vector<std::string> Entry::Values(const std::string& name) const {
  std::vector<std::string> out;
  for (const auto& [a, values] : attributes)
    if (EqualNoCase(AttributeBase(a), AttributeBase(name))) out.insert(out.end(), values.begin(), values.end());
  return out;
}

Server::~Server() { kx::WipeString(password); }

std::string Url::ServerUri() const {
  std::string h = host.empty() ? "127.0.0.1" : host;
  if (h.find(':') != std::string::npos) h = "[" + h + "]";
  return scheme + "://" + h + (port ? ":" + std::to_string(port) : std::string());
}

bool ParseUrl(const std::string& text, Url& out) {
  LDAPURLDesc* d = nullptr;
  if (ldap_url_parse(text.c_str(), &d) != LDAP_URL_SUCCESS || !d) return false;
  Url u;
  u.scheme = d->lud_scheme ? d->lud_scheme : "ldap";
  for (char& c : u.scheme) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  u.host = d->lud_host ? d->lud_host : "";
  u.port = d->lud_port;
  u.dn = d->lud_dn ? d->lud_dn : "";
  for (int i = 0; d->lud_attrs && d->lud_attrs[i]; ++i) u.attributes.push_back(d->lud_attrs[i]);
  u.scope = d->lud_scope == LDAP_SCOPE_DEFAULT ? LDAP_SCOPE_BASE : d->lud_scope;
  u.filter = d->lud_filter ? d->lud_filter : "";
  for (int i = 0; d->lud_exts && d->lud_exts[i]; ++i) {
    std::string ext = d->lud_exts[i];
    if (!ext.empty() && ext[0] == '!') ext.erase(0, 1);
    if (EqualNoCase(ext, "StartTLS") || ext == kStartTlsOid) u.startTls = true;
  }
  ldap_free_urldesc(d);
  if (u.scheme != "ldap" && u.scheme != "ldaps") return false;
  out = u;
  return true;
}

std::string EscapeFilterValue(const std::string& value) {
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : value) {
    if (c == '*' || c == '(' || c == ')' || c == '\\' || c == 0) {
      out += '\\';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

namespace {

bool Cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(); }

// Waits for a non-blocking connect in short steps, so that a cancel is seen while the server does not answer.
int AwaitConnect(int fd, Clock::time_point deadline, const std::atomic<bool>* cancel) {
  for (;;) {
    if (Cancelled(cancel)) return LDAP_USER_CANCELLED;
    if (Clock::now() >= deadline) return LDAP_TIMEOUT;
    const timeval step = Step(deadline);
    pollfd p{fd, POLLOUT, 0};
    const int n = ::poll(&p, 1, static_cast<int>(step.tv_sec * 1000 + step.tv_usec / 1000));
    if (n < 0 && errno != EINTR) return LDAP_SERVER_DOWN;
    if (n <= 0) continue;
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0 ? LDAP_SUCCESS
                                                                                    : LDAP_SERVER_DOWN;
  }
}

// A TCP connection to the server, made here rather than by libldap so that it can be cancelled; a blocking
// socket in *fd on success.
int OpenSocket(const Url& url, Clock::time_point deadline, const std::atomic<bool>* cancel, int* fd) {
  const std::string host = url.host.empty() ? "127.0.0.1" : url.host;
  const int port = url.port ? url.port : (url.scheme == "ldaps" ? LDAPS_PORT : LDAP_PORT);
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0) return LDAP_SERVER_DOWN;
  int rc = LDAP_SERVER_DOWN;
  for (addrinfo* a = list; a && rc == LDAP_SERVER_DOWN; a = a->ai_next) {
    const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (s < 0) continue;
    if (::connect(s, a->ai_addr, a->ai_addrlen) == 0) rc = LDAP_SUCCESS;
    else if (errno == EINPROGRESS) rc = AwaitConnect(s, deadline, cancel);
    if (rc == LDAP_SUCCESS && ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) & ~O_NONBLOCK) != 0) rc = LDAP_SERVER_DOWN;
    if (rc != LDAP_SUCCESS) {
      ::close(s);
      continue;
    }
    const int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    *fd = s;
  }
  ::freeaddrinfo(list);
  return rc;
}

// libldap waits for the TLS handshake and the StartTLS answer without a way to stop it: while it waits, this
// watches the cancel flag and the deadline, and when either comes it shuts the socket's reading side, which
// wakes the wait with a failure. (Only reading: the unbind that follows may still be written.)
class Watch {
 public:
  Watch(int fd, Clock::time_point deadline, const std::atomic<bool>* cancel)
      : m_thread([this, fd, deadline, cancel] {
          std::unique_lock<std::mutex> lock(m_mutex);
          while (!m_done) {
            if (Cancelled(cancel) || Clock::now() >= deadline) {
              m_fired = Cancelled(cancel) ? LDAP_USER_CANCELLED : LDAP_TIMEOUT;
              ::shutdown(fd, SHUT_RD);
              return;
            }
            m_wake.wait_for(lock, std::chrono::milliseconds(50));
          }
        }) {}
  ~Watch() { End(); }
  // Ends the watch: LDAP_SUCCESS when it let the step be, else why it ended it.
  int End() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_done = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
    return m_fired;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_done = false;
  int m_fired = LDAP_SUCCESS;
  std::thread m_thread;  // last: it starts once the members above are made
};

// Opens the connection (and TLS); verify false takes any server certificate, to tell a trust failure apart.
// Every step ends soon after a cancel or the deadline: LDAP_USER_CANCELLED or LDAP_TIMEOUT.
int Connect(Handle& h, const Server& server, Clock::time_point deadline, bool verify,
            const std::atomic<bool>* cancel) {
  Url url;
  if (!ParseUrl(server.uri, url)) return LDAP_PARAM_ERROR;
  int fd = -1;
  if (int rc = OpenSocket(url, deadline, cancel, &fd); rc != LDAP_SUCCESS) return rc;
  if (ldap_init_fd(fd, LDAP_PROTO_TCP, server.uri.c_str(), &h.ld) != LDAP_SUCCESS || !h.ld) {
    ::close(fd);  // not taken over
    h.ld = nullptr;
    return LDAP_PARAM_ERROR;
  }
  // What a server sends is capped as revocation lists over HTTP are: it cannot make us hold any amount.
  Sockbuf* sb = nullptr;
  ber_len_t most = 16 * 1024 * 1024;
  if (ldap_get_option(h.ld, LDAP_OPT_SOCKBUF, &sb) != LDAP_OPT_SUCCESS || !sb ||
      ber_sockbuf_ctrl(sb, LBER_SB_OPT_SET_MAX_INCOMING, &most) != 1)
    return LDAP_LOCAL_ERROR;
  const bool ldaps = url.scheme == "ldaps";
  int version = LDAP_VERSION3;
  ldap_set_option(h.ld, LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(h.ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  ldap_set_option(h.ld, LDAP_OPT_RESTART, LDAP_OPT_OFF);
  timeval tv = Remaining(deadline);
  ldap_set_option(h.ld, LDAP_OPT_NETWORK_TIMEOUT, &tv);
  ldap_set_option(h.ld, LDAP_OPT_TIMEOUT, &tv);
  if (!ldaps && !server.startTls) return LDAP_SUCCESS;
  // Only the user's trusted roots vouch for a server, and its name must match its certificate.
  int require = verify ? LDAP_OPT_X_TLS_HARD : LDAP_OPT_X_TLS_NEVER, newContext = 0;
  if (verify) {
    RootsFile roots;
    if (roots.path().empty() || ldap_set_option(h.ld, LDAP_OPT_X_TLS_CACERTFILE, roots.path().c_str()) != 0 ||
        ldap_set_option(h.ld, LDAP_OPT_X_TLS_CACERTDIR, nullptr) != 0 ||
        ldap_set_option(h.ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &require) != 0 ||
        ldap_set_option(h.ld, LDAP_OPT_X_TLS_NEWCTX, &newContext) != 0)
      return LDAP_LOCAL_ERROR;  // among others: no trusted root at all
  } else if (ldap_set_option(h.ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &require) != 0 ||
             ldap_set_option(h.ld, LDAP_OPT_X_TLS_NEWCTX, &newContext) != 0) {
    return LDAP_LOCAL_ERROR;
  }
  Watch watch(fd, deadline, cancel);
  const int rc = ldaps ? ldap_install_tls(h.ld) : ldap_start_tls_s(h.ld, nullptr, nullptr);
  const int fired = watch.End();
  return fired != LDAP_SUCCESS ? fired : rc;
}

Result SearchOnce(const Server& server, const std::string& base, int scope, const std::string& filter,
                  const std::vector<std::string>& attributes, const std::atomic<bool>* cancel) {
  Result r;
  const int seconds = server.timeLimitSeconds > 0 ? server.timeLimitSeconds : 10;
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  const bool tls = server.uri.rfind("ldaps://", 0) == 0 || server.startTls;
  if (!server.bindName.empty() && server.passwordUnreadable) {
    // Binding with the name and no password would be an anonymous bind the server accepts.
    Fail(r, Status::BindFailed, server.uri + ": the saved bind password cannot be read");
    return r;
  }
  if (!server.bindName.empty() && !server.password.empty() && !tls) {
    // Refused before any connection: anyone on the path could read a password sent in the clear.
    Fail(r, Status::NotProtected,
         server.uri + ": the bind password is not sent over a connection without TLS; use an ldaps:// address or "
                      "StartTLS");
    return r;
  }
  Handle h;
  int rc = Connect(h, server, deadline, true, cancel);
  if (rc == LDAP_USER_CANCELLED) {
    Fail(r, Status::Cancelled, "the search of " + server.uri + " was cancelled");
    return r;
  }
  if (rc == LDAP_PARAM_ERROR) {
    Fail(r, Status::BadAddress, "the address " + server.uri + " cannot be used");
    return r;
  }
  if (tls && (rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR || rc == LDAP_LOCAL_ERROR) &&
      Clock::now() < deadline) {
    // libldap does not say why TLS failed: a server that is fine without the check is one not trusted.
    Handle probe;
    if (Connect(probe, server, deadline, false, cancel) == LDAP_SUCCESS) {
      Fail(r, Status::Untrusted,
           "the certificate of " + server.uri +
               " is not trusted: it is not issued under a trusted root certificate, or it does not name the server");
      return r;
    }
  }
  timeval tv;
  if (rc == LDAP_SUCCESS && !server.bindName.empty()) {
    berval cred{static_cast<ber_len_t>(server.password.size()), const_cast<char*>(server.password.data())};
    int id = 0;
    rc = ldap_sasl_bind(h.ld, server.bindName.c_str(), LDAP_SASL_SIMPLE, &cred, nullptr, nullptr, &id);
    while (rc == LDAP_SUCCESS) {
      if (cancel && cancel->load()) {
        Fail(r, Status::Cancelled, "the search of " + server.uri + " was cancelled");
        return r;
      }
      if (Clock::now() >= deadline) {
        rc = LDAP_TIMEOUT;
        break;
      }
      timeval step = Step(deadline);
      LDAPMessage* m = nullptr;
      const int type = ldap_result(h.ld, id, LDAP_MSG_ALL, &step, &m);
      if (type == 0) continue;
      if (type < 0) {
        ldap_get_option(h.ld, LDAP_OPT_RESULT_CODE, &rc);
        if (rc == LDAP_SUCCESS) rc = LDAP_OTHER;
        break;
      }
      int code = LDAP_OTHER;
      if (ldap_parse_result(h.ld, m, &code, nullptr, nullptr, nullptr, nullptr, 1) != LDAP_SUCCESS) code = LDAP_OTHER;
      rc = code;
      break;
    }
  }
  if (rc != LDAP_SUCCESS) {
    std::string why = Diagnostic(h.ld, rc);
    Status s = StatusOf(rc);
    if (s == Status::TimedOut)
      why = server.uri + " did not answer within " + std::to_string(seconds) + " seconds";
    else
      why = server.uri + ": " + why;
    Fail(r, s, why);
    return r;
  }

  std::vector<char*> attrs;
  for (const std::string& a : attributes) attrs.push_back(const_cast<char*>(a.c_str()));
  attrs.push_back(nullptr);
  tv = Remaining(deadline);
  int id = 0;
  rc = ldap_search_ext(h.ld, base.c_str(), scope, filter.empty() ? "(objectClass=*)" : filter.c_str(),
                       attributes.empty() ? nullptr : attrs.data(), 0, nullptr, nullptr, &tv,
                       server.sizeLimit > 0 ? server.sizeLimit : 0, &id);
  // The results are taken one at a time and the limits applied to each as it comes: a server that sends more
  // than it was asked for is cut off, not believed.
  const size_t byteLimit = server.byteLimit ? server.byteLimit : size_t{16} << 20;
  size_t kept = 0;
  bool done = rc != LDAP_SUCCESS;
  auto stop = [&](Limit limit) {
    r.truncated = true;
    r.limit = limit;
    ldap_abandon_ext(h.ld, id, nullptr, nullptr);
    done = true;
    rc = LDAP_SUCCESS;
  };
  while (!done) {
    if (cancel && cancel->load()) {
      ldap_abandon_ext(h.ld, id, nullptr, nullptr);
      r.entries.clear();
      Fail(r, Status::Cancelled, "the search of " + server.uri + " was cancelled");
      return r;
    }
    if (Clock::now() >= deadline) {
      if (!r.entries.empty()) stop(Limit::Time);
      else rc = LDAP_TIMEOUT;
      break;
    }
    timeval step = Step(deadline);
    LDAPMessage* m = nullptr;
    errno = 0;
    const int type = ldap_result(h.ld, id, LDAP_MSG_ONE, &step, &m);
    if (type == 0) continue;
    if (type < 0) {
      // A message larger than the connection takes (see Connect) ends the stream; what came before is kept.
      const bool tooLarge = errno == ERANGE;
      ldap_get_option(h.ld, LDAP_OPT_RESULT_CODE, &rc);
      if (tooLarge) stop(Limit::Bytes);
      else if (rc == LDAP_SUCCESS) rc = LDAP_OTHER;
      done = true;
    } else if (type == LDAP_RES_SEARCH_ENTRY) {
      if (server.sizeLimit > 0 && r.entries.size() >= static_cast<size_t>(server.sizeLimit)) {
        stop(Limit::Size);
      } else {
        Entry e;
        const size_t cost = ReadEntry(h.ld, m, e);
        if (kept + cost > byteLimit) {
          stop(Limit::Bytes);
        } else {
          kept += cost;
          r.entries.push_back(std::move(e));
        }
      }
    } else if (type == LDAP_RES_SEARCH_RESULT) {
      int code = LDAP_OTHER;
      if (ldap_parse_result(h.ld, m, &code, nullptr, nullptr, nullptr, nullptr, 0) != LDAP_SUCCESS) code = LDAP_OTHER;
      rc = code;
      if (rc == LDAP_SIZELIMIT_EXCEEDED || rc == LDAP_ADMINLIMIT_EXCEEDED ||
          (rc == LDAP_TIMELIMIT_EXCEEDED && !r.entries.empty())) {
        r.truncated = true;
        r.limit = rc == LDAP_TIMELIMIT_EXCEEDED ? Limit::Time : Limit::Size;
        rc = LDAP_SUCCESS;
      } else if (rc == LDAP_NO_SUCH_OBJECT) {
        rc = LDAP_SUCCESS;  // nothing under that base
      }
      done = true;
    }
    // References and intermediate messages are passed over.
    if (m) ldap_msgfree(m);
  }
  if (rc != LDAP_SUCCESS) {
    std::string why = Diagnostic(h.ld, rc);
    Status s = StatusOf(rc);
    r.entries.clear();
    r.truncated = false;
    r.limit = Limit::None;
    Fail(r, s,
         s == Status::TimedOut ? server.uri + " did not answer within " + std::to_string(seconds) + " seconds"
                               : server.uri + ": " + why);
  }
  return r;
}

}  // namespace

Result Search(const Server& server, const std::string& base, int scope, const std::string& filter,
              const std::vector<std::string>& attributes, const std::atomic<bool>* cancel) {
  Result r = SearchOnce(server, base, scope, filter, attributes, cancel);
  t_lastStatus = r.status;
  t_lastMessage = r.message;
  return r;
}

bool ConfiguredServer(Server& out) {
  Server s;
  auto number = [](const char* name, DWORD& out) {
    return RegReadDword(HKEY_CURRENT_USER, kSettingsKey, name, &out);
  };
  auto text = [](const char* name, std::string& out) {
    return RegReadString(HKEY_CURRENT_USER, kSettingsKey, name, &out);
  };
  DWORD enabled = 0, n = 0;
  std::string address, sealed;
  Url url;
  // The LDAP page's switch decides whether there is a directory at all; ldap.conf only fills in what the
  // page's address leaves out (no address, or one without a host).
  if (!number("ENABLE_LDAP_SEARCH", enabled) || !enabled) return false;
  bool fromPage = text("LAST_LDAP_URL", address) && ParseUrl(address, url) && !url.host.empty();
  if (fromPage) {
    s.uri = url.ServerUri();
    s.base = url.dn;
    s.startTls = url.startTls;
  } else {
    // ldap.conf may list several servers: the first is used.
    if (!ServerInEnvironment()) return false;
    s.base = url.dn;  // what a host-less page address names
    s.startTls = url.startTls;
    std::string uris = GlobalText(LDAP_OPT_URI);
    std::string first = uris.substr(0, uris.find_first_of(" ,"));
    Url conf;
    if (first.empty() || !ParseUrl(first, conf)) return false;
    s.uri = conf.ServerUri();
  }
  if (s.base.empty()) s.base = GlobalText(LDAP_OPT_DEFBASE);
  if (number("LDAP_START_TLS", n) && n) s.startTls = true;
  if (s.uri.rfind("ldaps://", 0) == 0) s.startTls = false;
  text("LDAP_BIND_NAME", s.bindName);
  if (RegReadValue(HKEY_CURRENT_USER, kSettingsKey, "LDAP_BIND_PASSWORD", &sealed, nullptr) &&
      !UnsealPassword(sealed, s.password))
    s.passwordUnreadable = true;
  if (number("LDAP_SIZE_LIMIT", n)) s.sizeLimit = static_cast<int>(n);
  else if (int g = GlobalNumber(LDAP_OPT_SIZELIMIT); g > 0) s.sizeLimit = g;
  if (number("LDAP_TIME_LIMIT", n) && n) s.timeLimitSeconds = static_cast<int>(n);
  else if (int g = GlobalNumber(LDAP_OPT_TIMELIMIT); g > 0) s.timeLimitSeconds = g;
  out = s;
  return true;
}

Server ServerFor(const Url& url) {
  Server configured, s;
  bool have = ConfiguredServer(configured);
  // An address without a host ("ldap:///cn=...") means the directory the user has, and none without one.
  if (!url.host.empty()) s.uri = url.ServerUri();
  s.base = url.dn;
  s.startTls = url.startTls;
  if (have) {
    s.sizeLimit = configured.sizeLimit;
    s.timeLimitSeconds = configured.timeLimitSeconds;
    Url c;
    if (url.host.empty()) s.uri = configured.uri;
    if (url.host.empty() || (ParseUrl(configured.uri, c) && EqualNoCase(c.ServerUri(), s.uri))) {
      s.bindName = configured.bindName;
      s.password = configured.password;
      s.passwordUnreadable = configured.passwordUnreadable;
      s.startTls = s.startTls || configured.startTls;
    }
  }
  return s;
}

std::string SealSecret(const std::string& secret) {
  unsigned char k[32], iv[12], tag[16];
  if (!SealKey(true, k) || RAND_bytes(iv, sizeof iv) != 1) return std::string();
  std::string cipher;
  bool ok = Gcm(true, k, iv, secret, cipher, tag);
  OPENSSL_cleanse(k, sizeof k);
  if (!ok) return std::string();
  return std::string(kSealTag) + std::string(reinterpret_cast<char*>(iv), 12) +
         std::string(reinterpret_cast<char*>(tag), 16) + cipher;
}

bool UnsealSecret(const std::string& sealed, std::string& secret) { return UnsealPassword(sealed, secret); }

bool SaveBindPassword(const std::string& password) {
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  LSTATUS st = ERROR_INVALID_DATA;  // the password could not be sealed
  if (password.empty()) {
    st = RegDeleteValue(key, "LDAP_BIND_PASSWORD");
    if (st == ERROR_FILE_NOT_FOUND) st = ERROR_SUCCESS;
  } else if (const std::string sealed = SealSecret(password); !sealed.empty()) {
    st = RegSetValueEx(key, "LDAP_BIND_PASSWORD", 0, REG_BINARY, reinterpret_cast<const BYTE*>(sealed.data()),
                       static_cast<DWORD>(sealed.size()));
  }
  RegCloseKey(key);
  return st == ERROR_SUCCESS;
}

std::string LimitText(const Result& result, const Server& server) {
  if (!result.truncated) return {};
  switch (result.limit) {
    case Limit::Size:
      return "the directory holds more than the " + std::to_string(result.entries.size()) +
             " entries listed (its size limit)";
    case Limit::Bytes:
      return "the directory sent more than the " +
             std::to_string((server.byteLimit ? server.byteLimit : size_t{16} << 20) >> 20) +
             " MiB a search may keep; " + std::to_string(result.entries.size()) + " entries came within that";
    case Limit::Time:
      return "the directory did not finish within " +
             std::to_string(server.timeLimitSeconds > 0 ? server.timeLimitSeconds : 10) + " seconds; " +
             std::to_string(result.entries.size()) + " entries came by then";
    case Limit::None: break;
  }
  return "the directory sent only part of what it holds";
}

HRESULT StatusResult(Status status) {
  switch (status) {
    case Status::Ok: return S_OK;
    case Status::NotConfigured: return CAPICOM_HR_NO_SUCH_DOMAIN;
    case Status::BadAddress: return E_INVALIDARG;
    case Status::Unreachable: return HRESULT_FROM_WIN32(8250);  // ERROR_DS_SERVER_DOWN
    case Status::Untrusted: return KX_HR(0x800B0109);          // CERT_E_UNTRUSTEDROOT
    case Status::BindFailed: return HRESULT_FROM_WIN32(1326);   // ERROR_LOGON_FAILURE
    case Status::TimedOut: return HRESULT_FROM_WIN32(1460);     // ERROR_TIMEOUT
    case Status::Failed: return E_FAIL;
    case Status::Cancelled: return HRESULT_FROM_WIN32(1223);  // ERROR_CANCELLED
    case Status::NotProtected: return HRESULT_FROM_WIN32(8232);  // ERROR_DS_STRONG_AUTH_REQUIRED
  }
  return E_FAIL;
}

namespace {

thread_local const Answer* t_answer = nullptr;

HRESULT FindCertificates(const std::string& storeName, std::vector<std::string>& ders,
                         const std::atomic<bool>* cancel) {
  ders.clear();
  auto done = [](Status s, const std::string& why) {
    t_lastStatus = s;
    t_lastMessage = why;
    return StatusResult(s);
  };
  const std::string filter = StoreFilter(storeName);
  if (filter.empty()) return done(Status::BadAddress, "\"" + storeName + "\" is not a directory search");
  Server server;
  if (!ConfiguredServer(server)) return done(Status::NotConfigured, "no directory server is configured");
  // Servers differ in which form they send: userSMIMECertificate, for one, has no ";binary" form in OpenLDAP,
  // while certificates there come only as ";binary". Both forms are asked for; Values reads either.
  static const char* kCertAttributes[] = {"userCertificate", "userSMIMECertificate", "cACertificate"};
  const std::vector<std::string> asked = {"userCertificate;binary", "userCertificate",
                                          "userSMIMECertificate;binary", "userSMIMECertificate",
                                          "cACertificate;binary", "cACertificate"};
  // Entries without a certificate are not asked for, so that the size limit counts only useful ones.
  std::string wanted = "(&" + filter + "(|(userCertificate=*)(userSMIMECertificate=*)(cACertificate=*)))";
  Result r = Search(server, server.base, LDAP_SCOPE_SUBTREE, wanted, asked, cancel);
  if (r.status != Status::Ok) return done(r.status, r.message);
  for (const Entry& e : r.entries)
    for (const char* a : kCertAttributes)
      for (std::string& v : e.Values(a)) AddCertificates(v, ders);
  return done(Status::Ok, LimitText(r, server));
}

}  // namespace

HRESULT FindDirectoryCertificates(const std::string& storeName, std::vector<std::string>& ders) {
  if (t_answer && t_answer->storeName == storeName) {
    ders = t_answer->ders;
    t_lastStatus = t_answer->status;
    t_lastMessage = t_answer->message;
    return t_answer->result;
  }
  return FindCertificates(storeName, ders, nullptr);
}

Answer SearchAhead(const std::string& storeName, const std::atomic<bool>* cancel) {
  Answer a;
  a.storeName = storeName;
  a.result = FindCertificates(storeName, a.ders, cancel);
  a.status = t_lastStatus;
  a.message = t_lastMessage;
  return a;
}

AnswerScope::AnswerScope(const Answer& answer) : m_previous(t_answer) { t_answer = &answer; }
AnswerScope::~AnswerScope() { t_answer = m_previous; }

void SetLastDirectoryResult(Status status, const std::string& message) {
  t_lastStatus = status;
  t_lastMessage = message;
}

Status LastDirectoryStatus() { return t_lastStatus; }
std::string LastDirectoryMessage() { return t_lastMessage; }

std::string FetchCrl(const std::string& url, long timeoutSeconds, std::string* why) {
  Url u;
  if (!ParseUrl(url, u) || u.dn.empty()) {
    if (why) *why = "not an LDAP address of a revocation list";
    return {};
  }
  Server s = ServerFor(u);
  if (s.uri.empty()) {
    if (why) *why = "no directory server is configured";
    return {};
  }
  if (timeoutSeconds > 0) s.timeLimitSeconds = static_cast<int>(timeoutSeconds);
  std::vector<std::string> attrs = u.attributes;
  if (attrs.empty()) attrs = {"certificateRevocationList;binary"};
  Result r = Search(s, u.dn, LDAP_SCOPE_BASE, u.filter, attrs);
  if (r.status != Status::Ok) {
    if (why) *why = r.message;
    return {};
  }
  for (const Entry& e : r.entries)
    for (const std::string& a : attrs)
      for (const std::string& v : e.Values(a))
        if (!v.empty()) return v;
  if (why) *why = "the entry holds no revocation list";
  return {};
}

}  // namespace kx::ldap
