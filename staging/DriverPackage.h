// The driver package: which files make it up, what their staged copies are called, and
// the codes the procedures report. The texts are in Texts.h.
#pragma once

#include <array>
#include <optional>

struct PackageFile {
    const char* name;           // file in the package directory
    const char* stagedName;     // name of its copy in the staging directory
    const char* missingMessage; // shown when the file is not in the package directory
};

// Checked and copied in this order.
inline constexpr std::array<PackageFile, 4> kDriverPackage{{
    {"TOVRA.EXB", "TOVRA_SETUP.EXE", "无法在当前目录下找到TOVRA.EXB文件，驱动安装无法继续!"},
    {"TOVRA.INF", "TOVRA.INF", "无法在当前目录下找到TOVRA.INF文件，驱动安装无法继续!"},
    {"TOVRAWDM.SYS", "TOVRAWDM.SYS", "无法在当前目录下找到TOVRAWDM.SYS文件，驱动安装无法继续!"},
    {"TOVRA.DLL", "TOVRA.DLL", "无法在当前目录下找到TOVRA.DLL文件，驱动安装无法继续!"},
}};

inline constexpr const char* kStagingFolderName = "tovra_driver";
// The program kept in the staging folder after a successful install, for its uninstall.
inline constexpr const char* kKeptProgramName = "preinstall.exe";
inline constexpr const char* kSetupParameters = "/S";

// Our 64-bit program beside the shipped 32-bit one: on 64-bit Windows it does the driver
// store's work, which belongs to the native side. Its switches: /REMOVE "oemN.inf" [/FORCE].
inline constexpr const char* kStoreHelperName = "preinstall_store64.exe";
inline constexpr const char* kStoreHelperRemoveSwitch = "/REMOVE";
inline constexpr const char* kStoreHelperForceSwitch = "/FORCE";
inline constexpr unsigned long kStoreHelperTimeoutSeconds = 300;

// The staged setup program: the copy of the package's first file; and the package's INF.
inline constexpr const char* kStagedSetupName = kDriverPackage[0].stagedName;
inline constexpr const char* kPackageInfName = kDriverPackage[1].name;

// Windows' codes for the results deployment tools tell apart.
inline constexpr unsigned long kErrorFileNotFound = 2;
inline constexpr unsigned long kErrorAccessDenied = 5;
inline constexpr unsigned long kErrorSharingViolation = 32;
inline constexpr unsigned long kErrorNotSupported = 50;
inline constexpr unsigned long kErrorFileExists = 80;
inline constexpr unsigned long kErrorInvalidParameter = 87;
inline constexpr unsigned long kErrorInvalidImageHash = 577;
inline constexpr unsigned long kErrorAlreadyExists = 183;
inline constexpr unsigned long kErrorTimeout = 1460;
inline constexpr unsigned long kErrorInstallFailure = 1603;
inline constexpr unsigned long kErrorInstallAlreadyRunning = 1618;
inline constexpr unsigned long kRestartInitiated = 1641;
inline constexpr unsigned long kInstallSucceeded = 1707; // Windows Installer's "completed successfully"
inline constexpr unsigned long kErrorInstallPlatformUnsupported = 1633;
inline constexpr unsigned long kRestartRequired = 3010;
inline constexpr unsigned long kErrorReparsePointEncountered = 4395;
inline constexpr unsigned long kErrorDriverStoreAddFailed = 0xE0000247;
inline constexpr unsigned long kErrorDriverStoreDeleteFailed = 0xE000024C;
inline constexpr unsigned long kErrorInfInUseByDevices = 0xE000023D;
inline constexpr unsigned long kErrorInWow64 = 0xE0000235; // a 32-bit caller on 64-bit Windows

// SetupAPI's own codes (0xE000xxxx) as the HRESULT under which Windows keeps their texts
// (HRESULT_FROM_SETUPAPI: facility 15); nothing for any other code.
inline constexpr std::optional<unsigned long> SetupApiHresult(unsigned long code)
{
    constexpr unsigned long kApplicationError = 0xE0000000; // APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR
    if ((code & kApplicationError) != kApplicationError)
        return std::nullopt;
    return (code & 0xFFFF) | (15ul << 16) | 0x80000000;
}

// Success, with or without a restart to follow.
inline constexpr bool IsSuccessCode(unsigned long code)
{
    return code == 0 || code == kRestartRequired || code == kRestartInitiated;
}

// A failure's code, never 0: a failure without a code of its own is an installation failure.
inline constexpr unsigned long FailureCode(unsigned long error)
{
    return error != 0 ? error : kErrorInstallFailure;
}

// Message-box icon flags, with the values Windows gives them.
inline constexpr unsigned kIconStop = 0x10;
inline constexpr unsigned kIconExclamation = 0x30;
inline constexpr unsigned kIconInformation = 0x40;
