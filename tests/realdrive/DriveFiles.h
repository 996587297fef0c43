// File helpers by full path that work on every drive: TempTree's, but they never set
// permission bits, which FAT drivers cannot store. Each throws std::runtime_error naming the
// path and the reason when a call fails.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace vantrel::realdrive {

void WriteFile(const std::string& path, const std::string& contents);
std::string ReadFile(const std::string& path);
void MakeFolder(const std::string& path);  // the parent must exist; an existing folder is fine
void SetTime(const std::string& path, std::time_t seconds);
std::time_t ModificationTime(const std::string& path);
bool Exists(const std::string& path);
// Every entry below the folder, relative to it and sorted; folders end with '/'.
std::vector<std::string> ListTree(const std::string& folder);
// `size` bytes that differ from position to position, so that a misplaced block shows.
std::string Pattern(std::size_t size, char seed);

}  // namespace vantrel::realdrive
