// The processor architecture of the running Windows.
#pragma once

#include <string>

// As INF decorations name it: "x86", "amd64", "arm64" or "ia64"; the machine's own, also
// for a 32-bit or emulated program.
std::string NativeArchitecture();
