// Sample objects of the file family shared by the format tests and their sanitized build: filled entries and
// protected files, one filler per kind of file, and a stream file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "formats/FileManager.h"
#include "formats/KesmoraFile.h"
#include "formats/PayloadRecords.h"

class CTolvexBinaryFileBase;

namespace kxtest {

// An entry with texts, both buffers and the given number of list buffers.
PayloadEntry SampleEntry(const char* name, int buffers);
// A protected file with every part filled.
void FillProtected(CTolvexBinaryFileBase& f);

struct Kind {
  const char* marker;
  const char* extension;
  std::function<void(CBaseKesmoraFile*)> fill;
};

// Protected, encrypted protected, preset, signature image and audit log, in that order.
constexpr int kKindCount = 5;
extern const Kind kKinds[kKindCount];

// A stream file of the given blocks described by a protected file; returns the object's image.
std::string WriteStream(CFileManager& manager, const std::string& path, const std::vector<std::string>& blocks);

}  // namespace kxtest
