#include "staging/PreInstall.h"

#include "staging/DriverPackage.h"
#include "staging/InfArchitectures.h"
#include "staging/Paths.h"
#include "staging/Texts.h"

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
    return {FailureCode(error), std::nullopt};
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
    if (!log.RecordsAnywhere())
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

// Checks the package beside the executable and copies it into the staging directory under
// the Windows directory; 0 with that directory (ending in "\") in `stagingDirectory`, or
// the failed step's error, told to the user.
unsigned long StagePackage(WindowOps& window, SystemOps& system, StepLog& log, std::string& stagingDirectory)
{
    const std::string packageDirectory = EnsureTrailingBackslash(ExtractFilePath(window.ExecutablePath()));
    log.Record(PackageDirectoryLine(packageDirectory));
    if (!PackageIsComplete(window, log, system, packageDirectory))
        return kErrorFileNotFound;
    LogModelTargets(system, log, packageDirectory + kPackageInfName);

    unsigned long error = 0;
    const std::optional<std::string> windowsDirectory = WindowsDirectory(system, error);
    if (!windowsDirectory) {
        Tell(window, log, kWindowsDirectoryFailedMessage, kIconExclamation);
        return error;
    }
    log.Record(WindowsDirectoryLine(*windowsDirectory));

    const std::string stagingFolder = EnsureTrailingBackslash(*windowsDirectory) + kStagingFolderName;
    bool created = false;
    if (const unsigned long error = system.MakeDirectory(stagingFolder, created)) {
        ShowFailure(window, system, log, CreateDirectoryFailedMessage(stagingFolder), error);
        return error;
    }
    log.Record(StagingDirectoryLine(stagingFolder, created));

    stagingDirectory = stagingFolder + '\\';
    return CopyPackage(window, system, log, packageDirectory, stagingDirectory);
}

// Starts the staged setup with the button disabled; shows the success label once it runs.
unsigned long StartSetup(WindowOps& window, SystemOps& system, StepLog& log, const std::string& stagingDirectory)
{
    window.SetPreInstallButtonEnabled(false);
    const std::string setup = stagingDirectory + kStagedSetupName;
    StartedProgram started;
    if (const unsigned long error = system.StartProgram(setup, kSetupParameters, stagingDirectory, started)) {
        window.SetPreInstallButtonEnabled(true);
        ShowFailure(window, system, log, LaunchFailedMessage(), error);
        return error;
    }
    if (started.jobError != 0)
        log.Record(SetupOutsideJobLine(system.DescribeError(started.jobError)));
    log.Record(SetupStartedLine("\"" + setup + "\" " + kSetupParameters, started.processId));
    window.ShowSuccessLabel();
    return 0;
}

} // namespace

PreInstallOutcome StartPreInstall(WindowOps& window, SystemOps& system, StepLog& log)
{
    std::string stagingDirectory;
    if (const unsigned long error = StagePackage(window, system, log, stagingDirectory))
        return Failed(error);
    if (const unsigned long error = StartSetup(window, system, log, stagingDirectory))
        return Failed(error);
    return {};
}

PreInstallOutcome RunPreInstall(WindowOps& window, SystemOps& system, StepLog& log)
{
    const PreInstallOutcome outcome = StartPreInstall(window, system, log);
    RecordResult(log, system, outcome.error);
    return outcome;
}

void RecordResult(StepLog& log, SystemOps& system, unsigned long code)
{
    log.Record(ResultLine(code, IsSuccessCode(code) ? std::string() : system.DescribeError(code)));
}
