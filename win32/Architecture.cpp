#include "win32/Architecture.h"

#include "win32/OptionalFunction.h"

#include <windows.h>

std::string NativeArchitecture()
{
    // Windows 10 1709 and later tell the machine even to an emulated x86 program (on ARM64).
    using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    USHORT processMachine = 0, nativeMachine = 0;
    if (const auto isWow64Process2 = OptionalFunction<IsWow64Process2Function>(Kernel32(), "IsWow64Process2");
        isWow64Process2 && isWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine)) {
        switch (nativeMachine) {
        case IMAGE_FILE_MACHINE_AMD64:
            return "amd64";
        case 0xAA64: // IMAGE_FILE_MACHINE_ARM64
            return "arm64";
        case IMAGE_FILE_MACHINE_I386:
            return "x86";
        }
    }
    // Windows XP and later; older ones run only on x86 here.
    SYSTEM_INFO system{};
    using GetNativeSystemInfoFunction = void(WINAPI*)(SYSTEM_INFO*);
    if (const auto getNative = OptionalFunction<GetNativeSystemInfoFunction>(Kernel32(), "GetNativeSystemInfo"))
        getNative(&system);
    switch (system.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
        return "amd64";
    case PROCESSOR_ARCHITECTURE_IA64:
        return "ia64";
    case 12: // PROCESSOR_ARCHITECTURE_ARM64
        return "arm64";
    default:
        return "x86";
    }
}

RunningWindows ThisWindows()
{
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    // ntdll.dll is in every process; RtlGetVersion is there from Windows 2000 on, but only
    // documented for drivers: looked up, with GetVersionExW where it is missing.
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    const auto rtlGetVersion = OptionalFunction<RtlGetVersionFunction>(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
    if (rtlGetVersion == nullptr || rtlGetVersion(&version) != 0)
        GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
    return {NativeArchitecture(), version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber,
        version.wProductType, version.wSuiteMask};
}
