// The platform's directory client, over OpenLDAP's libldap: one blocking search per call, bounded by a time
// limit (connection, TLS, bind and search together), by a number of entries and by the bytes kept, all enforced
// here as results arrive whatever the server does; safe to call from several threads, and cancellable from
// another one.
//
// The configured directory is read from the current user's registry, key
// "Software\Kesmora\OfficeTolvex\CertificateManager", beside the address typed on the LDAP page:
//   ENABLE_LDAP_SEARCH  the switch: while it is off there is no directory, whatever else is set
//   LAST_LDAP_URL       ldap:// or ldaps:// URL with host, port and base DN;
//                       a "StartTLS" extension (or LDAP_START_TLS = 1) asks for StartTLS on ldap://
//   LDAP_BIND_NAME      bind DN (none: anonymous)
//   LDAP_BIND_PASSWORD  the password sealed with a key of the user's own (see SaveBindPassword), never plain text
//   LDAP_SIZE_LIMIT     most entries per search; LDAP_TIME_LIMIT: seconds for a whole search
// What is not set there comes from the environment's ldap.conf (URI, BASE, SIZELIMIT, TIMELIMIT).
// A bind password is only ever sent over TLS.
// TLS servers (ldaps:// and StartTLS) are checked against the user's trusted root certificates.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/types.h"

namespace kx::ldap {

enum class Status {
  Ok,
  NotConfigured,  // no directory address anywhere
  BadAddress,     // a URL or filter that cannot be used
  Unreachable,    // no connection (refused, no route, name unknown)
  Untrusted,      // the server's TLS certificate is not trusted
  BindFailed,     // the server refused the bind name or password
  TimedOut,       // no answer within the time limit
  Failed,         // any other error the server reported
  Cancelled,      // the caller's cancel flag was set
  NotProtected,   // a bind password would have gone over a connection without TLS: nothing was sent
};

// What ended a search early.
enum class Limit { None, Size, Bytes, Time };

struct Server {
  std::string uri;  // scheme://host:port
  std::string base;
  bool startTls = false;
  std::string bindName, password;  // the password is wiped when the settings go
  bool passwordUnreadable = false;  // a saved password that cannot be unsealed: a search fails, never binds without
  int sizeLimit = 1000;  // 0: only the byte limit counts
  int timeLimitSeconds = 10;
  size_t byteLimit = 16u << 20;  // what one search may keep: names, values and their bookkeeping
  ~Server();
};

struct Entry {
  std::string dn;
  std::vector<std::pair<std::string, std::vector<std::string>>> attributes;  // values are raw bytes
  // The values of an attribute, compared without regard to case and without ";binary".
  std::vector<std::string> Values(const std::string& name) const;
};

struct Result {
  Status status = Status::Ok;
  std::string message;  // why, when status != Ok
  std::vector<Entry> entries;
  bool truncated = false;  // a limit ended the search; entries holds what came within the limits
  Limit limit = Limit::None;  // which one
};

// A sentence for the user about a cut-short result ("" when nothing was cut).
KXAPI std::string LimitText(const Result& result, const Server& server);

// An LDAP URL (RFC 4516). scope: 0 base (the default), 1 one level, 2 subtree.
struct Url {
  std::string scheme, host;
  int port = 0;
  std::string dn;
  std::vector<std::string> attributes;
  int scope = 0;
  std::string filter;
  bool startTls = false;  // the "StartTLS" (1.3.6.1.4.1.1466.20037) extension
  std::string ServerUri() const;
};
KXAPI bool ParseUrl(const std::string& text, Url& out);

// A value made safe to put into a search filter (RFC 4515): * ( ) \ and NUL become \2a \28 \29 \5c \00.
KXAPI std::string EscapeFilterValue(const std::string& value);

// cancel, when given, is watched throughout: once set the search ends within a fraction of a second with
// Status::Cancelled.
KXAPI Result Search(const Server& server, const std::string& base, int scope, const std::string& filter,
                    const std::vector<std::string>& attributes, const std::atomic<bool>* cancel = nullptr);

// The configured directory; false when no address is set anywhere.
KXAPI bool ConfiguredServer(Server& out);
// Server settings for an address typed by the user: limits from the configuration, and its bind name and
// password when the address names the configured server (or no host at all: then it is the configured server,
// and the uri stays empty when there is none).
KXAPI Server ServerFor(const Url& url);

// A secret sealed with the user's own key (AES-256-GCM under a key file only the user can read), as the
// bind password and the proxy password are kept; empty when it cannot be sealed. Unsealing fails for another
// key or a damaged value.
KXAPI std::string SealSecret(const std::string& secret);
KXAPI bool UnsealSecret(const std::string& sealed, std::string& secret);

// Seals the bind password into the registry (empty: removes it). The product only reads it: this is how an
// administrator's tool, or a test, stores it.
KXAPI bool SaveBindPassword(const std::string& password);

// The engine's directory store: the DER certificates (userCertificate, userSMIMECertificate, cACertificate) of
// the entries of the configured directory that a store name selects. The name is "attribute=value" (the value in
// filter syntax: escaped by the caller where it is to be taken literally, "*" a wildcard; parentheses in it are
// taken literally) or a whole filter in parentheses. The HRESULT tells why nothing
// could be searched; LastDirectoryMessage() says it in words, for this thread.
KXAPI HRESULT FindDirectoryCertificates(const std::string& storeName, std::vector<std::string>& ders);
KXAPI Status LastDirectoryStatus();
KXAPI std::string LastDirectoryMessage();
// For a search that ended elsewhere (stopped by the user, for instance).
KXAPI void SetLastDirectoryResult(Status status, const std::string& message);

// A directory store's search made ahead, on a thread of its own (see kx::RunOffThread), so that the window that
// wants it stays responsive and can offer Stop. Installed on the window's thread with an AnswerScope, it is what
// FindDirectoryCertificates there answers for that store name, without searching again.
struct Answer {
  std::string storeName;
  HRESULT result = E_FAIL;
  Status status = Status::Ok;
  std::string message;
  std::vector<std::string> ders;
};
KXAPI Answer SearchAhead(const std::string& storeName, const std::atomic<bool>* cancel);
class KXAPI AnswerScope {
 public:
  explicit AnswerScope(const Answer& answer);
  ~AnswerScope();
  AnswerScope(const AnswerScope&) = delete;
  AnswerScope& operator=(const AnswerScope&) = delete;

 private:
  const Answer* m_previous;
};

// A revocation list from an ldap:// distribution point (certificateRevocationList;binary, or the attribute
// the URL names); empty when none could be had.
KXAPI std::string FetchCrl(const std::string& url, long timeoutSeconds, std::string* why = nullptr);

// The HRESULT a caller reports for a status.
KXAPI HRESULT StatusResult(Status status);

}  // namespace kx::ldap
