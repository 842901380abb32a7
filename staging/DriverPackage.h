// The driver package: which files make it up, what their staged copies are called, and
// the codes the procedures report (ExitCodes.h). The texts are in Texts.h.
#pragma once

#include "staging/ExitCodes.h"

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

// SetupAPI's own codes (0xE000xxxx) as the HRESULT under which Windows keeps their texts
// (HRESULT_FROM_SETUPAPI: facility 15); nothing for any other code.
inline constexpr std::optional<unsigned long> SetupApiHresult(unsigned long code)
{
    constexpr unsigned long kApplicationError = 0xE0000000; // APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR
    if ((code & kApplicationError) != kApplicationError)
        return std::nullopt;
    return (code & 0xFFFF) | (15ul << 16) | 0x80000000;
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
