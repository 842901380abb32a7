// The running Windows: its processor architecture and its version.
#pragma once

#include "staging/Interfaces.h"

#include <string>

// As INF decorations name it: "x86", "amd64", "arm64" or "ia64"; the machine's own, also
// for a 32-bit or emulated program.
std::string NativeArchitecture();

// The architecture with the version, product type and suites the kernel reports:
// RtlGetVersion, which compatibility settings do not change as they change GetVersionEx.
RunningWindows ThisWindows();

class Win32Platform final : public Platform {
public:
    RunningWindows ThisWindows() override { return ::ThisWindows(); }
};
