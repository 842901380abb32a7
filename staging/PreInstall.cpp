#include "staging/PreInstall.h"

#include "staging/DriverPackage.h"
#include "staging/InfArchitectures.h"
#include "staging/Paths.h"

namespace {

// What the procedure tells the user also goes into the log.
void Tell(WindowOps& window, StepLog& log, const std::string& message, unsigned iconFlags)
{
    log.Record(MessageLine(kWarningCaption, message));
    window.ShowMessage(message, kWarningCaption, iconFlags);
}

void ShowFailure(WindowOps& window, SystemOps& system, StepLog& log, const std::string& message, unsigned long error)
{
    Tell(window, log, message + "\n" + system.DescribeError(error), kIconStop);
}

// A failed step's outcome; a failure is never reported as 0, even where the system gave no code.
PreInstallOutcome Failed(unsigned long error)
{
    return {error != 0 ? error : kErrorInstallFailure, std::nullopt};
}

// Reports the first package file that is missing; true when all are present.
bool PackageIsComplete(WindowOps& window, StepLog& log, SystemOps& system, const std::string& packageDirectory)
{
    for (const PackageFile& file : kDriverPackage) {
        const std::string path = packageDirectory + file.name;
        const bool present = system.FileExists(path);
        log.Record(FileCheckedLine(path, present));
        if (!present) {
            Tell(window, log, file.missingMessage, kIconStop);
            return false;
        }
    }
    return true;
}

// Copies every file, going on past failures; reports the first that failed and returns its error.
unsigned long CopyPackage(WindowOps& window, SystemOps& system, StepLog& log, const std::string& packageDirectory,
    const std::string& stagingDirectory)
{
    const PackageFile* firstFailed = nullptr;
    unsigned long firstError = 0;
    for (const PackageFile& file : kDriverPackage) {
        const std::string from = packageDirectory + file.name;
        const std::string to = stagingDirectory + file.stagedName;
        const unsigned long error = system.CopyFileOver(from, to);
        if (error == 0) {
            log.Record(CopiedLine(from, to, system.FileSize(to)));
            continue;
        }
        log.Record(CopyFailedLine(from, to, system.DescribeError(error)));
        if (firstFailed == nullptr) {
            firstFailed = &file;
            firstError = error;
        }
    }
    if (firstFailed != nullptr)
        ShowFailure(window, system, log, CopyFailedMessage(*firstFailed), firstError);
    return firstError;
}

// Logs which platforms the package's INF has models for, and warns when none fits this
// Windows: a 64-bit Windows installs no package without NTamd64 models. Changes no outcome;
// without a log the INF is not read (Windows' INF parser is a DLL to load).
void LogModelTargets(SystemOps& system, StepLog& log, const std::string& infPath)
{
    if (!log.Keeps())
        return;
    unsigned long error = 0;
    const auto decorations = system.ManufacturerDecorations(infPath, error);
    if (!decorations) {
        log.Record(InfUnreadableLine(infPath, system.DescribeError(error)));
        return;
    }
    const std::vector<std::string> targets = ModelTargets(*decorations);
    const std::string native = system.NativeArchitecture();
    log.Record(ModelTargetsLine(targets, native));
    if (!TargetsFit(targets, native))
        log.Record(NoFittingModelsLine(native));
}

PreInstallOutcome Stage(WindowOps& window, SystemOps& system, StepLog& log, SetupWait wait)
{
    const std::string packageDirectory = EnsureTrailingBackslash(ExtractFilePath(window.ExecutablePath()));
    log.Record(PackageDirectoryLine(packageDirectory));
    if (!PackageIsComplete(window, log, system, packageDirectory))
        return Failed(kErrorFileNotFound);
    LogModelTargets(system, log, packageDirectory + kPackageInfName);

    unsigned long error = 0;
    const std::optional<std::string> windowsDirectory = WindowsDirectory(system, error);
    if (!windowsDirectory) {
        Tell(window, log, kWindowsDirectoryFailedMessage, kIconExclamation);
        return Failed(error);
    }
    log.Record(WindowsDirectoryLine(*windowsDirectory));

    const std::string stagingFolder = EnsureTrailingBackslash(*windowsDirectory) + kStagingFolderName;
    bool created = false;
    if (const unsigned long error = system.MakeDirectory(stagingFolder, created)) {
        ShowFailure(window, system, log, CreateDirectoryFailedMessage(stagingFolder), error);
        return Failed(error);
    }
    log.Record(StagingDirectoryLine(stagingFolder, created));

    const std::string stagingDirectory = stagingFolder + '\\';
    if (const unsigned long error = CopyPackage(window, system, log, packageDirectory, stagingDirectory))
        return Failed(error);

    window.SetPreInstallButtonEnabled(false);
    const std::string setup = stagingDirectory + kStagedSetupName;
    unsigned long processId = 0;
    if (const unsigned long error = system.StartProgram(setup, kSetupParameters, stagingDirectory, processId)) {
        window.SetPreInstallButtonEnabled(true);
        ShowFailure(window, system, log, LaunchFailedMessage(), error);
        return Failed(error);
    }
    log.Record(SetupStartedLine("\"" + setup + "\" " + kSetupParameters, processId));
    window.ShowSuccessLabel();
    if (wait == SetupWait::No)
        return {};

    unsigned long exitCode = 0;
    if (const unsigned long error = system.WaitForStartedProgram(exitCode)) {
        log.Record(WaitFailedLine(system.DescribeError(error)));
        return Failed(error);
    }
    log.Record(SetupExitLine(exitCode));
    return {0, exitCode};
}

} // namespace

std::optional<std::string> WindowsDirectory(SystemOps& system, unsigned long& error)
{
    const std::size_t size = system.WindowsDirectorySize(error);
    if (size == 0)
        return std::nullopt;
    return system.ReadWindowsDirectory(size + 1, error);
}

PreInstallOutcome RunPreInstall(WindowOps& window, SystemOps& system, StepLog& log, SetupWait wait)
{
    const PreInstallOutcome outcome = Stage(window, system, log, wait);
    RecordResult(log, system, DeploymentExitCode(outcome));
    return outcome;
}

unsigned long DeploymentExitCode(const PreInstallOutcome& outcome)
{
    if (outcome.error != 0)
        return outcome.error;
    const unsigned long setupCode = outcome.setupExitCode.value_or(0);
    if (setupCode == kInstallSucceeded)
        return 0;
    // A setup that found another installation running asks, like us, to be retried.
    return IsSuccessCode(setupCode) || setupCode == kErrorInstallAlreadyRunning ? setupCode : kErrorInstallFailure;
}

void RecordResult(StepLog& log, SystemOps& system, unsigned long code)
{
    log.Record(ResultLine(code, IsSuccessCode(code) ? std::string() : system.DescribeError(code)));
}
