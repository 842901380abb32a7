// SHA-256 with Windows' own provider: CryptoAPI's AES provider, which has it from Windows
// XP SP3 on. Older Windows has none.
#pragma once

#include <windows.h>

#include <string>

// Whether this Windows can compute a SHA-256.
bool Sha256Available();

// The SHA-256 of what is left to read of `file`, in lower-case hexadecimal; 0 or the error.
[[nodiscard]] unsigned long Sha256OfFile(HANDLE file, std::string& sha256);
