// Shared helpers of the zip tests: fixture data, running outside tools, catching the library's exceptions.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/testroot.h"
#include "zip/ZipArchive.h"

namespace ziptest {

// Bytes that compress well (text) or not at all (noise), the same on every run.
std::string Text(size_t size, unsigned seed = 1);
std::string Noise(size_t size, unsigned seed = 1);

// Runs a shell command in folder dir; returns its exit status.
int Sh(const std::string& command, std::string* out = nullptr);
std::string Quote(const std::string& s);
bool Exists(const std::string& path);

// Counts the lines of zipinfo -v output whose field label is followed by this value.
int Field(const std::string& zipinfo, const std::string& label, const std::string& value);

// The cause of the CZipException that fn raised, -1 for a framework file exception, 0 when nothing was
// raised. The exception is deleted.
int CauseOf(const std::function<void()>& fn);

// Writes a small tree under root: files of text and noise, sub-folders, an empty file and an empty folder.
// Returns the relative paths of the files.
std::vector<std::string> MakeTree(const std::string& root, size_t scale = 1);
// True when every file of the list has the same bytes under both roots; the first difference goes to *why.
bool SameFiles(const std::string& a, const std::string& b, const std::vector<std::string>& files,
               std::string* why = nullptr);

// Adds every file and folder under root (root path set, names relative to it), folders first.
void AddTree(CZipArchive& zip, const std::string& root, int level = -1);
// DeleteFiles with these indexes.
void Delete(CZipArchive& zip, std::initializer_list<WORD> indexes);
// Extracts every entry with full paths; false when one extraction failed.
bool ExtractAll(CZipArchive& zip, const std::string& dest);

// Byte access to archives for crafting damaged ones.
std::string Bytes(const std::string& path);
void Put(const std::string& path, const std::string& bytes);
size_t Find(const std::string& bytes, const std::string& what, size_t from = 0);
void Put16(std::string& bytes, size_t at, unsigned v);
void Put32(std::string& bytes, size_t at, unsigned v);
unsigned Get16(const std::string& bytes, size_t at);
unsigned Get32(const std::string& bytes, size_t at);

}  // namespace ziptest
