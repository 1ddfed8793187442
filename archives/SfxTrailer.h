// The trailer of a self-extracting package, shared by the package reader and the extractor stub. It is read
// backwards from the end of the file; every field is checked against the file and the table's limits before
// it is used. Needs nothing but the standard library.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kx::sfx {

inline constexpr char kMarker[] = "!ZUNT_SFX!";
inline constexpr char kVersion[] = "1.10";
inline constexpr uint32_t kMarkerLength = 10;
inline constexpr uint32_t kVersionLength = 4;
// Marker, version and count.
inline constexpr uint32_t kFixedLength = kMarkerLength + kVersionLength + 4;
inline constexpr uint32_t kMaxEntries = 256;
inline constexpr uint32_t kMaxNameLength = 1024;

struct TrailerEntry {
  std::string name;
  uint32_t size = 0;
  uint32_t compressedSize = 0;
  uint32_t streamOffset = 0;
};

enum class TrailerStatus { Ok, NotPackage, Empty, Damaged };

inline uint32_t GetU32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// A name the stub can create in its folder: not empty, no folder part, not "." or "..".
inline bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// read(back, buffer, n): the n bytes that start `back` bytes before the end of the file; false when they cannot
// be read. Entries come back in table order; trailerLength is the number of bytes after the streams.
template <class Read>
TrailerStatus ParseTrailer(uint64_t fileLength, Read&& read, std::vector<TrailerEntry>& entries,
                           uint64_t& trailerLength) {
  entries.clear();
  trailerLength = 0;
  auto readAt = [&](uint64_t back, void* out, uint32_t n) { return back <= fileLength && back >= n && read(back, out, n); };
  char text[kMarkerLength];
  if (!readAt(kMarkerLength, text, kMarkerLength) || memcmp(text, kMarker, kMarkerLength) != 0)
    return TrailerStatus::NotPackage;
  if (!readAt(kMarkerLength + kVersionLength, text, kVersionLength) || memcmp(text, kVersion, kVersionLength) != 0)
    return TrailerStatus::NotPackage;
  unsigned char word[4];
  if (!readAt(kFixedLength, word, 4)) return TrailerStatus::NotPackage;
  const uint32_t count = GetU32(word);
  if (count == 0) return TrailerStatus::Empty;
  if (count > kMaxEntries) return TrailerStatus::Damaged;

  std::vector<TrailerEntry> table(count);
  std::vector<char> name(kMaxNameLength);
  uint64_t offset = kFixedLength;
  for (uint32_t k = count; k-- > 0;) {
    offset += 4;
    if (!readAt(offset, word, 4)) return TrailerStatus::Damaged;
    const uint32_t nameLength = GetU32(word);
    if (nameLength == 0 || nameLength > kMaxNameLength) return TrailerStatus::Damaged;
    offset += nameLength;
    if (!readAt(offset, name.data(), nameLength)) return TrailerStatus::Damaged;
    uint32_t fields[3];
    for (uint32_t& field : fields) {
      offset += 4;
      if (!readAt(offset, word, 4)) return TrailerStatus::Damaged;
      field = GetU32(word);
    }
    TrailerEntry& e = table[k];
    e.name.assign(name.data(), nameLength);
    e.compressedSize = fields[0];
    e.size = fields[1];
    e.streamOffset = fields[2];
  }
  // Every stream lies before the trailer; every name is one the stub may create.
  for (const TrailerEntry& e : table) {
    if (static_cast<uint64_t>(e.streamOffset) + e.compressedSize > fileLength - offset || !IsPlainName(e.name))
      return TrailerStatus::Damaged;
  }
  entries = std::move(table);
  trailerLength = offset;
  return TrailerStatus::Ok;
}

inline void PutU32(std::vector<unsigned char>& out, uint64_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// The trailer's bytes for the entries, in table order.
inline std::vector<unsigned char> MakeTrailer(const std::vector<TrailerEntry>& entries) {
  std::vector<unsigned char> out;
  for (const TrailerEntry& e : entries) {
    PutU32(out, e.streamOffset);
    PutU32(out, e.size);
    PutU32(out, e.compressedSize);
    out.insert(out.end(), e.name.begin(), e.name.end());
    PutU32(out, e.name.size());
  }
  PutU32(out, entries.size());
  out.insert(out.end(), kVersion, kVersion + kVersionLength);
  out.insert(out.end(), kMarker, kMarker + kMarkerLength);
  return out;
}

}  // namespace kx::sfx
