// The border between the program's UTF-8 strings and the UTF-16 of Windows' W calls.
#pragma once

#include <string>

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

// Full path of the running executable, read whole however long it is.
std::string ExecutableFilePath();
