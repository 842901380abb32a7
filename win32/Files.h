// Files and folders through Win32's W calls, for UTF-8 paths. Each returns 0 or the
// system's error code unless it says otherwise; none follows a link it is asked to remove.
#pragma once

#include "staging/Operations.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

bool FileExists(const std::string& path);
std::optional<std::uint64_t> FileSize(const std::string& path);
// One directory level; an existing directory is no failure, and `created` tells which.
unsigned long MakeDirectory(const std::string& path, bool& created);
// Copies to a new file: removes what has that name first (even a read-only, hidden or
// system file, or a link, never what it points to) and never writes into an existing file.
unsigned long ReplaceWithCopy(const std::string& from, const std::string& to);
PathKind KindOfPath(const std::string& path);
std::optional<std::vector<std::string>> ListFolder(const std::string& folder, unsigned long& error);
std::optional<std::string> ReadFileBytes(const std::string& path);
// A file, even a read-only one, or a link of either kind (the link, never its target).
unsigned long RemoveFile(const std::string& path);
unsigned long RemoveEmptyFolder(const std::string& folder);
// Deletes a file if it is there, as far as it can: whether it went is for the caller to
// look at, not for this call to say.
void DeleteIfPresent(const std::wstring& path);

// Clears the read-only, hidden and system attributes of an existing file, never of a
// folder: CopyFileW refuses to replace a file that has any of them.
void MakeReplaceable(const std::wstring& path);
