// The logical stores a person sees: the current user's stores by their display names, in the order the
// certificate manager shows them, and a "Smart Card" store after them while a present token holds certificates.
#pragma once

#include <string>
#include <vector>

namespace kx::capi {

struct LogicalStore {
  std::string name;         // the store's own name ("My", "Root", ...)
  std::string displayName;  // what a person reads ("Personal", ...)
  long location = 2;        // the engine's store location (2: the current user)
};

std::vector<LogicalStore> LogicalStores();

}  // namespace kx::capi
