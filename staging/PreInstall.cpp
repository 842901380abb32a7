#include "staging/PreInstall.h"

#include "staging/DriverPackage.h"
#include "staging/Paths.h"

namespace {

void ShowFailure(WindowOps& window, SystemOps& system, const std::string& message, unsigned long error)
{
    window.ShowMessage(message + "\n" + system.DescribeError(error), kWarningCaption, kIconStop);
}

// Reports the first package file that is missing; true when all are present.
bool PackageIsComplete(WindowOps& window, SystemOps& system, const std::string& packageDirectory)
{
    for (const PackageFile& file : kDriverPackage) {
        if (!system.FileExists(packageDirectory + file.name)) {
            window.ShowMessage(file.missingMessage, kWarningCaption, kIconStop);
            return false;
        }
    }
    return true;
}

std::optional<std::string> WindowsDirectory(SystemOps& system)
{
    const std::size_t size = system.WindowsDirectorySize();
    if (size == 0)
        return std::nullopt;
    return system.ReadWindowsDirectory(size + 1);
}

// Copies every file, going on past failures; reports the first that failed.
bool CopyPackage(
    WindowOps& window, SystemOps& system, const std::string& packageDirectory, const std::string& stagingDirectory)
{
    const PackageFile* firstFailed = nullptr;
    unsigned long firstError = 0;
    for (const PackageFile& file : kDriverPackage) {
        const unsigned long error =
            system.CopyFileOver(packageDirectory + file.name, stagingDirectory + file.stagedName);
        if (error != 0 && firstFailed == nullptr) {
            firstFailed = &file;
            firstError = error;
        }
    }
    if (firstFailed != nullptr)
        ShowFailure(window, system, CopyFailedMessage(*firstFailed), firstError);
    return firstFailed == nullptr;
}

} // namespace

void RunPreInstall(WindowOps& window, SystemOps& system)
{
    const std::string packageDirectory = EnsureTrailingBackslash(ExtractFilePath(window.ExecutablePath()));
    if (!PackageIsComplete(window, system, packageDirectory))
        return;

    const std::optional<std::string> windowsDirectory = WindowsDirectory(system);
    if (!windowsDirectory) {
        window.ShowMessage(kWindowsDirectoryFailedMessage, kWarningCaption, kIconExclamation);
        return;
    }

    const std::string stagingFolder = EnsureTrailingBackslash(*windowsDirectory) + kStagingFolderName;
    if (const unsigned long error = system.MakeDirectory(stagingFolder)) {
        ShowFailure(window, system, CreateDirectoryFailedMessage(stagingFolder), error);
        return;
    }

    const std::string stagingDirectory = stagingFolder + '\\';
    if (!CopyPackage(window, system, packageDirectory, stagingDirectory))
        return;

    window.SetPreInstallButtonEnabled(false);
    if (const unsigned long error =
            system.StartProgram(stagingDirectory + kStagedSetupName, kSetupParameters, stagingDirectory)) {
        window.SetPreInstallButtonEnabled(true);
        ShowFailure(window, system, LaunchFailedMessage(), error);
        return;
    }
    window.ShowSuccessLabel();
}
