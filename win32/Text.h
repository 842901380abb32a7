// The border between the program's UTF-8 strings and the UTF-16 of Windows' W calls.
#pragma once

#include <string>

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

// Full path of the running executable, read whole however long it is.
std::string ExecutableFilePath();

// Whether two names are the same to Windows' file system, whatever the locale's case rules:
// an ordinal comparison without case.
bool SameNameIgnoringCase(const std::wstring& one, const std::wstring& other);
