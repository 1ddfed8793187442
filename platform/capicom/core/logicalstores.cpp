#include "platform/capicom/core/logicalstores.h"

#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/tokenstore.h"

namespace kx::capi {

std::vector<LogicalStore> LogicalStores() {
  std::vector<LogicalStore> stores = {
      {"My", "Personal", CAPICOM_CURRENT_USER_STORE},
      {"AddressBook", "Other People", CAPICOM_CURRENT_USER_STORE},
      {"CA", "Intermediate Certification Authorities", CAPICOM_CURRENT_USER_STORE},
      {"Root", "Trusted Root Certification Authorities", CAPICOM_CURRENT_USER_STORE},
  };
  // A present card or token gets a tab of its own while it is there.
  if (AnyTokenCertificate()) stores.push_back({"SmartCard", "Smart Card", CAPICOM_CURRENT_USER_STORE});
  return stores;
}

}  // namespace kx::capi
