// Certificate stores: folders on disk per location and store name, and stores in memory.
//
// Layout of a store folder (<state>/certstores/<lower-case name>/):
//   index               thumbprints, one a line, in the order the certificates were added
//   certs/<SHA1>.der    the certificates
//   props/<SHA1>        extended properties: key container link, archived flag, friendly name
//   crls/<SHA1>.crl     revocation lists, one per issuer (named by the SHA-1 of the issuer name)
// The current user's "Root" and "CA" views also show the machine's certificates (after the user's own);
// those cannot be removed through the user's view.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/capicom/core/encoded.h"
#include "platform/capicom/core/keys.h"

namespace kx::capi {

struct StoreEntry {
  CertRef cert;
  std::optional<KeyLink> key;
  bool archived = false;
  std::string friendlyName;
  std::string origin;  // store folder the entry was read from; empty for memory stores
};

// Folder of a named store of the user (location 2) or the machine (location 1); empty when the name is not
// a valid store name (empty, a path separator, "..", control characters).
std::string StoreFolder(long location, const std::string& name);

// Writes the extended properties (key link, archived flag, friendly name) of an entry back to its folder.
HRESULT WriteEntryProperties(const StoreEntry& entry);

// While one is open on a thread, the chain checks made on that thread share one reading of the user's stores
// and what is made from it: a list of thousands of certificates reads them once, not once a row. Scopes nest;
// the outermost one owns the readings, and a store changed meanwhile is seen by the next scope.
class ListingScope {
 public:
  ListingScope();
  ~ListingScope();
  ListingScope(const ListingScope&) = delete;
  ListingScope& operator=(const ListingScope&) = delete;
  // The thread's reading kept under the key; null when no scope is open.
  static std::shared_ptr<void>* Slot(const std::string& key);
};

class CertStore {
 public:
  // location and mode are the engine's store location and open mode values. Mode 0 opens read-only;
  // mode 1 fails with E_ACCESSDENIED where the store cannot be written; mode 2 falls back to read-only.
  static HRESULT Open(long location, const std::string& name, long mode, std::shared_ptr<CertStore>& out);
  static std::shared_ptr<CertStore> NewMemory();

  long location() const { return m_location; }
  const std::string& name() const { return m_name; }
  bool readOnly() const { return m_readOnly; }

  // The certificates in stable store order (archived ones only when asked).
  std::vector<StoreEntry> Entries(bool includeArchived = false) const;
  // Adds a certificate (an existing one keeps its place and gains a key link it lacked).
  HRESULT Add(const StoreEntry& entry);
  // E_ACCESSDENIED for a read-only store or a machine certificate seen through the user's view;
  // CRYPT_E_NOT_FOUND when the store has no such certificate.
  HRESULT Remove(const std::string& thumbprint);

  std::vector<CrlRef> Crls() const;
  // Replaces the list of the same issuer.
  HRESULT AddCrl(const CrlRef& crl);

 private:
  struct Memory {
    std::mutex mutex;
    std::vector<StoreEntry> entries;
    std::vector<CrlRef> crls;
  };
  CertStore() = default;

  long m_location = 0;
  std::string m_name;
  bool m_readOnly = false;
  std::vector<std::string> m_folders;  // the writable part first; further parts are read-only views
  std::shared_ptr<Memory> m_memory;
};

}  // namespace kx::capi
