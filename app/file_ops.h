// The window's file system operations, shared by every toolkit: folders, whole-file reads and
// writes that either replace the target completely or leave it alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace files {

bool CreateFolders(const std::string& path);
bool Exists(const std::string& path);
bool ReadWhole(const std::string& path, std::vector<uint8_t>& bytes);
// Writes a temporary file beside path and renames it over path once it is complete.
bool WriteAtomically(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace files
