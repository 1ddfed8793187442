#include "platform/capicom/core/logicalstores.h"

#include <algorithm>
#include <mutex>

#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/tokenstore.h"

namespace kx::capi {
namespace {

std::mutex g_mutex;

std::vector<LogicalStore>& Registered() {
  static auto* stores = new std::vector<LogicalStore>{
      {"My", "Personal", CAPICOM_CURRENT_USER_STORE},
      {"AddressBook", "Other People", CAPICOM_CURRENT_USER_STORE},
      {"CA", "Intermediate Certification Authorities", CAPICOM_CURRENT_USER_STORE},
      {"Root", "Trusted Root Certification Authorities", CAPICOM_CURRENT_USER_STORE},
  };
  return *stores;
}

}  // namespace

std::vector<LogicalStore> LogicalStores() {
  std::vector<LogicalStore> stores;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    stores = Registered();
  }
  // A present card or token gets a tab of its own while it is there.
  if (AnyTokenCertificate() &&
      std::none_of(stores.begin(), stores.end(), [](const LogicalStore& s) { return s.name == "SmartCard"; }))
    stores.push_back({"SmartCard", "Smart Card", CAPICOM_CURRENT_USER_STORE});
  return stores;
}

void RegisterLogicalStore(const LogicalStore& store) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto& stores = Registered();
  auto same = std::find_if(stores.begin(), stores.end(), [&](const LogicalStore& s) { return s.name == store.name; });
  if (same != stores.end()) *same = store;
  else stores.push_back(store);
}

}  // namespace kx::capi
