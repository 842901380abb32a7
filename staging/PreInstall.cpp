#include "staging/PreInstall.h"

#include "resources/ProductName.h"
#include "staging/DriverPackage.h"
#include "staging/InfArchitectures.h"
#include "staging/Paths.h"
#include "staging/Texts.h"

namespace {

// What the procedure tells the user also goes into the log.
void Tell(WindowOps& window, StepLog& log, const std::string& message, const std::string& caption, unsigned iconFlags)
{
    log.Record(MessageLine(caption, message));
    window.ShowMessage(message, caption, iconFlags);
}

void Warn(WindowOps& window, StepLog& log, const std::string& message, unsigned iconFlags)
{
    Tell(window, log, message, kWarningCaption, iconFlags);
}

// A failure with the system's description of its error on a second line.
void ShowFailure(WindowOps& window, SystemOps& system, StepLog& log, const std::string& message, unsigned long error)
{
    Warn(window, log, message + "\n" + system.DescribeError(error), kIconStop);
}

// A failed step's outcome; a failure is never reported as 0, even where the system gave no code.
PreInstallOutcome Failed(unsigned long error)
{
    PreInstallOutcome outcome;
    outcome.error = FailureCode(error);
    return outcome;
}

// Reports the first package file that is missing; true when all are present.
bool PackageIsComplete(WindowOps& window, StepLog& log, SystemOps& system, const std::string& packageDirectory)
{
    for (const PackageFile& file : kDriverPackage) {
        const std::string path = packageDirectory + file.name;
        const bool present = system.FileExists(path);
        log.Record(FileCheckedLine(path, present));
        if (!present) {
            Warn(window, log, file.missingMessage, kIconStop);
            return false;
        }
    }
    return true;
}

// Reads the package's INF with Windows' own parser; refuses one that cannot be read, or
// that has no models for this Windows (a 64-bit Windows installs no package without
// NTamd64 models). 0 with what it says in `inf`, or the error, told to the user.
unsigned long CheckPackageInf(
    WindowOps& window, SystemOps& system, StepLog& log, const std::string& infPath, PackageInf& inf)
{
    unsigned long error = 0;
    const std::optional<PackageInf> read = system.ReadPackageInf(infPath, error);
    if (!read) {
        error = FailureCode(error);
        log.Record(InfUnreadableLine(infPath, system.DescribeError(error)));
        ShowFailure(window, system, log, InfUnreadableMessage(), error);
        return error;
    }
    const std::vector<std::string> targets = ModelTargets(read->decorations);
    const std::string native = system.NativeArchitecture();
    log.Record(ModelTargetsLine(targets, native));
    if (!TargetsFit(targets, native)) {
        log.Record(NoFittingModelsLine(native));
        Warn(window, log, NoFittingDriverMessage(native), kIconStop);
        return kErrorInstallPlatformUnsupported;
    }
    inf = *read;
    return 0;
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
        const unsigned long error = system.ReplaceWithCopy(from, to);
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

// Where a run stages the package.
struct Staging {
    std::string windowsDirectory; // ending in "\"
    std::string directory;        // the staging directory, ending in "\"
};

// Checks the package beside the executable and its INF, then copies it into the staging
// directory under the Windows directory; 0, or the failed step's error, told to the user.
unsigned long StagePackage(WindowOps& window, SystemOps& system, StepLog& log, Staging& staging, PackageInf& inf)
{
    const std::string packageDirectory = EnsureTrailingBackslash(ExtractFilePath(window.ExecutablePath()));
    log.Record(PackageDirectoryLine(packageDirectory));
    if (!PackageIsComplete(window, log, system, packageDirectory))
        return kErrorFileNotFound;
    if (const unsigned long error = CheckPackageInf(window, system, log, packageDirectory + kPackageInfName, inf))
        return error;

    unsigned long error = 0;
    const std::optional<std::string> windowsDirectory = WindowsDirectory(system, error);
    if (!windowsDirectory) {
        Warn(window, log, kWindowsDirectoryFailedMessage, kIconExclamation);
        return error;
    }
    log.Record(WindowsDirectoryLine(*windowsDirectory));
    staging.windowsDirectory = EnsureTrailingBackslash(*windowsDirectory);

    const std::string stagingFolder = staging.windowsDirectory + kStagingFolderName;
    if (system.KindOfPath(stagingFolder) == PathKind::Link) {
        ShowFailure(window, system, log, StagingIsLinkMessage(stagingFolder), kErrorReparsePointEncountered);
        return kErrorReparsePointEncountered;
    }
    bool created = false;
    if (const unsigned long error = system.MakeDirectory(stagingFolder, created)) {
        ShowFailure(window, system, log, CreateDirectoryFailedMessage(stagingFolder), error);
        return error;
    }
    log.Record(StagingDirectoryLine(stagingFolder, created));
    // Whoever could write into the folder before may not, from now on, change what is staged.
    if (const unsigned long error = system.ProtectFolder(stagingFolder)) {
        ShowFailure(window, system, log, ProtectFolderFailedMessage(stagingFolder), error);
        return error;
    }

    staging.directory = stagingFolder + '\\';
    return CopyPackage(window, system, log, packageDirectory, staging.directory);
}

// Hashes the staged setup and holds it against change; 0 when its SHA-256 is `expected`,
// or the error, told to the user.
unsigned long CheckSetupHash(
    WindowOps& window, SystemOps& system, StepLog& log, const std::string& setup, const std::string& expected)
{
    std::string actual;
    if (const unsigned long error = system.HoldAndHashFile(setup, actual)) {
        ShowFailure(window, system, log, SetupUnhashableMessage(), error);
        return error;
    }
    log.Record(SetupHashLine(setup, actual, expected));
    if (actual == expected)
        return 0;
    Warn(window, log, SetupHashMismatchMessage(), kIconStop);
    return kErrorInvalidImageHash;
}

// Starts the staged setup with the button disabled; the button stays disabled while the
// run waits for the outcome.
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
    return 0;
}

// Starts the staged setup; with an expected hash, only the file that has it, held from the
// hash until its process exists.
unsigned long StartCheckedSetup(WindowOps& window, SystemOps& system, StepLog& log, const std::string& stagingDirectory,
    const std::string& expectedSha256)
{
    const HeldFileRelease release(system);
    if (!expectedSha256.empty())
        if (const unsigned long error =
                CheckSetupHash(window, system, log, stagingDirectory + kStagedSetupName, expectedSha256))
            return error;
    return StartSetup(window, system, log, stagingDirectory);
}

// Tells the window the verdict: the success label (and a restart box where the setup asks
// for one), or why not, with the button enabled again for another try.
void TellVerdict(WindowOps& window, SystemOps& system, StepLog& log, const SetupOutcome& setup)
{
    switch (setup.verdict) {
    case Verdict::Succeeded:
        window.ShowSuccessLabel();
        if (setup.setupExitCode != 0u && IsSuccessCode(*setup.setupExitCode))
            Tell(window, log, RestartNeededMessage(), PRODUCT_NAME, kIconInformation);
        return;
    case Verdict::Abandoned:
        log.Record(WindowClosedWhileWaitingLine());
        return; // the window is gone
    case Verdict::SetupFailed:
        Warn(window, log, SetupFailedMessage(*setup.setupExitCode), kIconStop);
        break;
    case Verdict::NotInDriverStore:
        Warn(window, log, NotInDriverStoreMessage(), kIconStop);
        break;
    case Verdict::WaitFailed:
        ShowFailure(window, system, log, WaitFailedMessage(), setup.waitError);
        break;
    case Verdict::TimedOut:
        break; // only an unattended run has a time limit, and it has no window
    }
    window.SetPreInstallButtonEnabled(true);
}

} // namespace

PreInstallOutcome RunPreInstall(WindowOps& window, SystemOps& system, SetupWaiting& waiting, StepLog& log,
    const WaitLimits& limits, const std::string& setupSha256)
{
    PreInstallOutcome outcome;
    Staging staging;
    if (const unsigned long error = StagePackage(window, system, log, staging, outcome.inf))
        return Failed(error);
    // What the setup must bring into the driver store: the INF it is staged beside.
    const std::optional<std::string> stagedInf = system.ReadFileBytes(staging.directory + kPackageInfName);
    if (!stagedInf) {
        ShowFailure(window, system, log, InfUnreadableMessage(), kErrorInstallFailure);
        return Failed(kErrorInstallFailure);
    }
    const std::uint32_t startedAt = system.MillisecondsNow();
    if (const unsigned long error = StartCheckedSetup(window, system, log, staging.directory, setupSha256))
        return Failed(error);
    outcome.setup =
        WaitForSetupOutcome(system, waiting, log, staging.windowsDirectory + "inf\\", *stagedInf, startedAt, limits);
    TellVerdict(window, system, log, outcome.setup);
    return outcome;
}

PreInstallOutcome RunWindowPreInstall(
    WindowOps& window, SystemOps& system, SetupWaiting& waiting, StepLog& log, const std::string& setupSha256)
{
    const PreInstallOutcome outcome =
        RunPreInstall(window, system, waiting, log, {std::nullopt, kWindowAfterSetupSeconds}, setupSha256);
    if (outcome.error != 0 || outcome.setup.verdict != Verdict::Abandoned)
        RecordResult(log, system, DeploymentExitCode(outcome));
    return outcome;
}

unsigned long DeploymentExitCode(const PreInstallOutcome& outcome)
{
    if (outcome.error != 0)
        return outcome.error;
    const SetupOutcome& setup = outcome.setup;
    switch (setup.verdict) {
    case Verdict::Succeeded:
        // Windows Installer's "completed successfully" is a plain success to deployment tools.
        return *setup.setupExitCode == kInstallSucceeded ? 0 : *setup.setupExitCode;
    case Verdict::SetupFailed:
        // A setup that found another installation running asks, like us, to be retried.
        return *setup.setupExitCode == kErrorInstallAlreadyRunning ? kErrorInstallAlreadyRunning : kErrorInstallFailure;
    case Verdict::NotInDriverStore:
        return kErrorDriverStoreAddFailed;
    case Verdict::TimedOut:
        return kErrorTimeout;
    case Verdict::WaitFailed:
        return FailureCode(setup.waitError);
    case Verdict::Abandoned:
        break;
    }
    return kErrorInstallFailure;
}

void RecordResult(StepLog& log, SystemOps& system, unsigned long code)
{
    log.Record(ResultLine(code, IsSuccessCode(code) ? std::string() : system.DescribeError(code)));
}
