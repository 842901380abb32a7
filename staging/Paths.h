// Path helpers on UTF-8 strings with "\" as separator.
#pragma once

#include <string>

// The part of `path` up to and including its last "\" or ":"; empty when it has neither.
std::string ExtractFilePath(const std::string& path);

// Appends one "\" unless `directory` already ends in one; an empty string becomes "\".
// In UTF-8 a "\" byte is always a whole character, never part of a multi-byte one.
std::string EnsureTrailingBackslash(const std::string& directory);

// How much of a full path is its root, which no link can be: "C:\" or "\\server\share\".
std::size_t RootLength(const std::string& path);
