// The driver package: which files make it up, what their staged copies are called,
// and every text the pre-install procedure shows. All texts are UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

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
inline constexpr const char* kSetupParameters = "/S";
inline constexpr const char* kWarningCaption = "警告";
inline constexpr const char* kWindowsDirectoryFailedMessage = "加载系统目录失败，请重新[预装程序]!";

// The staged setup program: the copy of the package's first file; and the package's INF.
inline constexpr const char* kStagedSetupName = kDriverPackage[0].stagedName;
inline constexpr const char* kPackageInfName = kDriverPackage[1].name;

// Windows' codes for the results deployment tools tell apart.
inline constexpr unsigned long kErrorFileNotFound = 2;
inline constexpr unsigned long kErrorInvalidParameter = 87;
inline constexpr unsigned long kErrorAlreadyExists = 183;
inline constexpr unsigned long kErrorInstallFailure = 1603;
inline constexpr unsigned long kErrorInstallAlreadyRunning = 1618;
inline constexpr unsigned long kRestartInitiated = 1641;
inline constexpr unsigned long kInstallSucceeded = 1707; // Windows Installer's "completed successfully"
inline constexpr unsigned long kRestartRequired = 3010;

// Success, with or without a restart to follow.
inline constexpr bool IsSuccessCode(unsigned long code)
{
    return code == 0 || code == kRestartRequired || code == kRestartInitiated;
}

// Message-box icon flags, with the values Windows gives them.
inline constexpr unsigned kIconStop = 0x10;
inline constexpr unsigned kIconExclamation = 0x30;
inline constexpr unsigned kIconInformation = 0x40;

// Texts for failures while staging. Each gets a second line with the system's
// description of the error.
std::string CreateDirectoryFailedMessage(const std::string& stagingDirectory);
std::string CopyFailedMessage(const PackageFile& file);
std::string LaunchFailedMessage();

// The lines of the administrator's log, one per step. `error` is the system's
// description of an error (DescribeError).
std::string PackageDirectoryLine(const std::string& packageDirectory);
std::string FileCheckedLine(const std::string& path, bool present);
std::string WindowsDirectoryLine(const std::string& windowsDirectory);
std::string StagingDirectoryLine(const std::string& stagingDirectory, bool created);
std::string CopiedLine(const std::string& from, const std::string& to, std::optional<std::uint64_t> size);
std::string CopyFailedLine(const std::string& from, const std::string& to, const std::string& error);
std::string SetupStartedLine(const std::string& commandLine, unsigned long processId);
std::string SetupExitLine(unsigned long exitCode);
std::string WaitFailedLine(const std::string& error);
// A message the procedure told the user, on one line.
std::string MessageLine(const std::string& caption, const std::string& message);
std::string ResultLine(unsigned long code, const std::string& error);
