// The logical stores a person sees: the current user's stores by their display names, in the order the
// certificate manager shows them. Stores that come from elsewhere (a smart card) register themselves.
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
// Adds a store after the built-in ones (a second registration of the same name replaces the first).
void RegisterLogicalStore(const LogicalStore& store);

}  // namespace kx::capi
