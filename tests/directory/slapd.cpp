#include "directory/slapd.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include <openssl/evp.h>

#include "services/local_server.h"
#include "support/pki.h"
#include "support/testroot.h"

namespace kxtest {
namespace {

bool Listening(int port) {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(s);
  return ok;
}

std::string Config(const std::string& dir) {
  return "include /etc/ldap/schema/core.schema\n"
         "include /etc/ldap/schema/cosine.schema\n"
         "include /etc/ldap/schema/inetorgperson.schema\n"
         "pidfile " + dir + "/slapd.pid\n"
         "argsfile " + dir + "/slapd.args\n"
         "modulepath /usr/lib/ldap\n"
         "moduleload back_mdb\n"
         "TLSCertificateFile " + dir + "/server.pem\n"
         "TLSCertificateKeyFile " + dir + "/server.key\n"
         "database mdb\n"
         "maxsize 67108864\n"
         "suffix \"dc=test\"\n"
         "rootdn \"cn=admin,dc=test\"\n"
         "rootpw secret\n"
         "directory " + dir + "/db\n"
         "access to * by * read\n";
}

// The server's TLS certificate for 127.0.0.1: issued by the test root, or self-signed.
bool MakeServerCertificate(const std::string& dir, bool selfSigned, std::string* error) {
  WriteFile(dir + "/server.ext", "subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n");
  const std::string newKey = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + dir +
                             "/server.key -subj /CN=127.0.0.1";
  std::string cmd =
      selfSigned
          ? "openssl req -x509 " + newKey + " -days 30 -addext subjectAltName=IP:127.0.0.1 -out " + dir + "/server.pem"
          : "openssl req -new " + newKey + " -out " + dir + "/server.csr && openssl x509 -req -in " + dir +
                "/server.csr -CA " + pki::Pem("root") + " -CAkey " + pki::Key("root") +
                " -set_serial 0x5e17 -days 30 -extfile " + dir + "/server.ext -out " + dir + "/server.pem";
  std::string out;
  if (Run("(" + cmd + ") 2>&1", &out) != 0) {
    *error = "server certificate: " + out;
    return false;
  }
  return true;
}

}  // namespace

bool Slapd::Start(std::string* error, bool untrustedTls) {
  Stop();
  dir_ = MakeTempDir("slapd");
  if (!MakeServerCertificate(dir_, untrustedTls, error)) return false;
  WriteFile(dir_ + "/slapd.conf", Config(dir_));
  for (int attempt = 0; attempt < 3; ++attempt) {
    Run("rm -rf '" + dir_ + "/db' '" + dir_ + "/slapd.pid' && mkdir -p '" + dir_ + "/db'");
    port_ = UnusedPort();
    tlsPort_ = UnusedPort();
    const std::string urls = Url("/") + " " + LdapsUrl("/");
    const std::string conf = dir_ + "/slapd.conf", log = dir_ + "/slapd.log";
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) break;
    if (pid == 0) {
      // The server goes with the test program, however that ends (a crash, a kill).
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(127);
      int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd >= 0) {
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
      }
      // -d keeps it in the foreground, so that its PID is this child's; "stats" logs connections and operations.
      execl("/usr/sbin/slapd", "slapd", "-d", "stats", "-f", conf.c_str(), "-h", urls.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    pid_ = pid;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool exited = false;
    while (std::chrono::steady_clock::now() < until) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited = true;
        pid_ = -1;
        break;
      }
      // slapd writes its PID file once its listeners are bound: a port another server holds is not taken for ours.
      if (std::atoi(ReadFile(dir_ + "/slapd.pid").c_str()) == pid_ && Listening(port_) && Listening(tlsPort_)) break;
      poll(nullptr, 0, 20);
    }
    if (exited) {
      *error = "slapd ended: " + ReadFile(log);
      continue;  // most likely a port taken meanwhile: again with others
    }
    if (std::atoi(ReadFile(dir_ + "/slapd.pid").c_str()) != pid_ || !Listening(port_)) {
      *error = "slapd did not listen within 30 seconds: " + ReadFile(log);
      Stop();
      return false;
    }
    return Add("dn: dc=test\nobjectClass: dcObject\nobjectClass: organization\ndc: test\no: Test\n\n"
               "dn: ou=People,dc=test\nobjectClass: organizationalUnit\nou: People\n",
               error);
  }
  return false;
}

void Slapd::Stop() {
  if (pid_ > 0) {
    if (paused_) kill(pid_, SIGCONT);
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  pid_ = -1;
  paused_ = false;
}

void Slapd::Pause() {
  if (pid_ <= 0 || kill(pid_, SIGSTOP) != 0) return;
  paused_ = true;
  // The stop reaches each of the server's threads in its own time: wait until every one shows it, so that a
  // search made next meets a server that cannot answer.
  const std::string tasks = "/proc/" + std::to_string(pid_) + "/task";
  for (int tries = 0; tries < 2000; ++tries) {
    bool allStopped = true;
    if (DIR* dir = opendir(tasks.c_str())) {
      while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        std::ifstream stat(tasks + "/" + e->d_name + "/stat");
        std::string line;
        std::getline(stat, line);
        size_t close = line.rfind(')');
        if (close == std::string::npos || close + 2 >= line.size()) continue;
        char state = line[close + 2];
        if (state != 'T' && state != 't') allStopped = false;
      }
      closedir(dir);
    }
    if (allStopped) return;
    usleep(5000);
  }
}

void Slapd::Resume() {
  if (pid_ > 0 && paused_ && kill(pid_, SIGCONT) == 0) paused_ = false;
}

std::string Slapd::Log() const { return ReadFile(dir_ + "/slapd.log"); }

bool Slapd::Add(const std::string& ldif, std::string* error) {
  const std::string file = MakeTempDir("ldif") + "/entries.ldif";
  WriteFile(file, ldif);
  std::string out;
  int rc = Run("LDAPNOINIT=1 ldapadd -x -H " + Url() + " -D cn=admin,dc=test -w secret -f '" + file + "' 2>&1", &out);
  if (rc != 0 && error) *error = "ldapadd: " + out;
  return rc == 0;
}

std::string Slapd::Base64(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string Slapd::Person(const std::string& cn, const std::string& mail, const std::vector<std::string>& ders) {
  std::string ldif = "dn: cn=" + cn + "," + kPeople + "\nobjectClass: inetOrgPerson\ncn: " + cn + "\nsn: " + cn +
                     "\n";
  if (!mail.empty()) ldif += "mail: " + mail + "\n";
  for (const std::string& der : ders) ldif += "userCertificate;binary:: " + Base64(der) + "\n";
  return ldif + "\n";
}

}  // namespace kxtest
