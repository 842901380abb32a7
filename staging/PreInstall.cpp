#include "staging/PreInstall.h"

#include "resources/ProductName.h"
#include "staging/DriverPackage.h"
#include "staging/InfModels.h"
#include "staging/Paths.h"
#include "staging/StagedFiles.h"
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

// The procedure's view of the world.
struct Run {
    WindowOps& window;
    const OperatingSystem& system;
    StepLog& log;

    // A failure with the system's description of its error on a second line.
    void ShowFailure(const std::string& message, unsigned long error) const
    {
        Warn(window, log, message + "\n" + system.errors.DescribeError(error), kIconStop);
    }
};

// A failed step's outcome; a failure is never reported as 0, even where the system gave no code.
PreInstallOutcome FailedStep(unsigned long error)
{
    PreInstallOutcome outcome;
    outcome.error = FailureCode(error);
    return outcome;
}

// Reports the first package file that is missing; true when all are present.
bool PackageIsComplete(const Run& run, const std::string& packageDirectory)
{
    for (const PackageFile& file : kDriverPackage) {
        const std::string path = packageDirectory + file.name;
        const bool present = run.system.files.FileExists(path);
        run.log.Record(FileCheckedLine(path, present));
        if (!present) {
            Warn(run.window, run.log, file.missingMessage, kIconStop);
            return false;
        }
    }
    return true;
}

// Reads the package's INF with Windows' own parser; refuses one that cannot be read, or
// that has no models Windows would take here (by processor, version, product type, suite
// and build). 0 with what it says in `inf`, or the error, told to the user.
unsigned long CheckPackageInf(const Run& run, const std::string& infPath, PackageInf& inf)
{
    const Result<PackageInf> read = run.system.driverStore.ReadPackageInf(infPath);
    if (!read) {
        run.log.Record(InfUnreadableLine(infPath, run.system.errors.DescribeError(read.Error())));
        run.ShowFailure(InfUnreadableMessage(), read.Error());
        return read.Error();
    }
    const RunningWindows windows = run.system.platform.ThisWindows();
    const std::vector<std::string> declared = DeclaredModels(read->manufacturers);
    run.log.Record(ModelTargetsLine(declared, windows));
    for (const ManufacturerModels& line : read->manufacturers) {
        const std::optional<ModelsSection> taken = ChosenSection(line, windows);
        run.log.Record(taken ? TakenModelsSectionLine(line.section, SectionName(line, *taken), taken->models)
                             : NoModelsSectionTakenLine(line.section));
    }
    switch (FitOfModels(read->manufacturers, windows)) {
    case ModelsFit::Fits:
        inf = *read;
        return 0;
    case ModelsFit::NotForThisArchitecture:
        run.log.Record(NoFittingModelsLine(windows.architecture));
        Warn(run.window, run.log, NoFittingDriverMessage(windows.architecture), kIconStop);
        break;
    case ModelsFit::NotForThisVersion:
        run.log.Record(NoModelsForThisVersionLine(windows));
        Warn(run.window, run.log, NoDriverForThisVersionMessage(declared, windows), kIconStop);
        break;
    }
    return kErrorInstallPlatformUnsupported;
}

// Copies every file, going on past failures; reports the first that failed and returns its error.
unsigned long CopyPackage(const Run& run, const std::string& packageDirectory, const std::string& stagingDirectory)
{
    Files& files = run.system.files;
    const PackageFile* firstFailed = nullptr;
    unsigned long firstError = 0;
    for (const PackageFile& file : kDriverPackage) {
        const std::string from = packageDirectory + file.name;
        const std::string to = stagingDirectory + file.stagedName;
        const unsigned long error = ReplaceWithCopy(files, run.log, from, to);
        if (error == 0) {
            if (run.log.RecordsAnywhere()) { // the size is asked only for the log
                const Result<std::uint64_t> size = files.FileSize(to);
                run.log.Record(CopiedLine(from, to, size ? std::optional<std::uint64_t>(*size) : std::nullopt));
            }
            continue;
        }
        run.log.Record(CopyFailedLine(from, to, run.system.errors.DescribeError(error)));
        if (firstFailed == nullptr) {
            firstFailed = &file;
            firstError = error;
        }
    }
    if (firstFailed != nullptr)
        run.ShowFailure(CopyFailedMessage(*firstFailed), firstError);
    return firstError;
}

// Checks the package beside the program and its INF, then copies it into the staging
// folder; 0, or the failed step's error, told to the user.
unsigned long StagePackage(const Run& run, const std::string& programPath, const Places& places, PackageInf& inf)
{
    Files& files = run.system.files;
    const std::string packageDirectory = EnsureTrailingBackslash(ExtractFilePath(programPath));
    run.log.Record(PackageDirectoryLine(packageDirectory));
    if (!PackageIsComplete(run, packageDirectory))
        return kErrorFileNotFound;
    if (const unsigned long error = CheckPackageInf(run, packageDirectory + kPackageInfName, inf))
        return error;
    run.log.Record(WindowsDirectoryLine(places.windowsDirectory));

    const std::string& stagingFolder = places.stagingFolder;
    if (files.KindOfPath(stagingFolder) == PathKind::Link) {
        run.ShowFailure(StagingIsLinkMessage(stagingFolder), kErrorReparsePointEncountered);
        return kErrorReparsePointEncountered;
    }
    const Result<bool> created = files.MakeDirectory(stagingFolder);
    if (!created) {
        run.ShowFailure(CreateDirectoryFailedMessage(stagingFolder), created.Error());
        return created.Error();
    }
    run.log.Record(StagingDirectoryLine(stagingFolder, *created));
    // Whoever could write into the folder before may not, from now on, change what is staged.
    if (const unsigned long error = files.ProtectFolder(stagingFolder)) {
        run.ShowFailure(ProtectFolderFailedMessage(stagingFolder), error);
        return error;
    }

    RemoveLeftovers(files, run.log, places.staging);
    return CopyPackage(run, packageDirectory, places.staging);
}

// Hashes the staged setup held against change; 0 when its SHA-256 is `expected`, or the
// error, told to the user.
unsigned long CheckSetupHash(const Run& run, HeldFile& setup, const std::string& path, const std::string& expected)
{
    const Result<std::string> actual = setup.Sha256();
    if (!actual) {
        run.ShowFailure(SetupUnhashableMessage(), actual.Error());
        return actual.Error();
    }
    run.log.Record(SetupHashLine(path, *actual, expected));
    if (*actual == expected)
        return 0;
    Warn(run.window, run.log, SetupHashMismatchMessage(), kIconStop);
    return kErrorInvalidImageHash;
}

// Starts the staged setup in a job with the button disabled, and with `tempFolder` as its
// TEMP and TMP; the button stays disabled while the run waits for the outcome.
Result<StartedSetup> StartSetup(const Run& run, const Places& places, const std::string& tempFolder)
{
    run.window.SetPreInstallButtonEnabled(false);
    const std::string& setup = places.stagedSetup;
    const ProgramStart start{setup, kSetupParameters, places.staging, {{"TEMP", tempFolder}, {"TMP", tempFolder}}};
    Result<StartedSetup> started = StartSetupInJob(run.system.programs, run.system.errors, run.log, start);
    if (!started) {
        run.window.SetPreInstallButtonEnabled(true);
        run.ShowFailure(LaunchFailedMessage(), started.Error());
        return started;
    }
    run.log.Record(SetupStartedLine("\"" + setup + "\" " + kSetupParameters, started->program->ProcessId()));
    return started;
}

// Starts the staged setup; with an expected hash, only the file that has it, held from the
// hash until its process exists.
Result<StartedSetup> StartCheckedSetup(
    const Run& run, const Places& places, const std::string& tempFolder, const std::string& expectedSha256)
{
    std::unique_ptr<HeldFile> held;
    if (!expectedSha256.empty()) {
        const std::string& path = places.stagedSetup;
        Result<std::unique_ptr<HeldFile>> hold = run.system.files.HoldFile(path);
        if (!hold) {
            run.ShowFailure(SetupUnhashableMessage(), hold.Error());
            return Failed{hold.Error()};
        }
        held = std::move(*hold);
        if (const unsigned long error = CheckSetupHash(run, *held, path, expectedSha256))
            return Failed{error};
    }
    return StartSetup(run, places, tempFolder);
}

// Tells the window the verdict: the success label (and a restart box where the setup asks
// for one), or why not, with the button enabled again for another try.
void TellVerdict(const Run& run, const SetupOutcome& setup)
{
    switch (setup.verdict) {
    case Verdict::Succeeded:
        run.window.ShowSuccessLabel();
        if (setup.setupExitCode != 0u && IsSuccessCode(*setup.setupExitCode))
            Tell(run.window, run.log, RestartNeededMessage(), PRODUCT_NAME, kIconInformation);
        return;
    case Verdict::Abandoned:
        run.log.Record(WindowClosedWhileWaitingLine());
        return; // the window is gone
    case Verdict::SetupFailed:
        Warn(run.window, run.log, SetupFailedMessage(*setup.setupExitCode), kIconStop);
        break;
    case Verdict::NotInDriverStore:
        Warn(run.window, run.log, NotInDriverStoreMessage(), kIconStop);
        break;
    case Verdict::WaitFailed:
        run.ShowFailure(WaitFailedMessage(), setup.waitError);
        break;
    case Verdict::TimedOut:
        break; // only an unattended run has a time limit, and it has no window
    }
    run.window.SetPreInstallButtonEnabled(true);
}

// The setup's temporary folder goes once the setup has ended; what it still holds goes on
// the next run.
void RemoveSetupTempFolder(const Run& run, const std::string& tempFolder)
{
    if (!RemoveTree(run.system.files, tempFolder).failures.empty())
        run.log.Record(LeftForTheNextRunLine(tempFolder));
}

} // namespace

PreInstallOutcome RunPreInstall(WindowOps& window, const OperatingSystem& system, SetupWaiting& waiting, StepLog& log,
    const Places& places, const PreInstallRequest& request, const WaitLimits& limits)
{
    const Run run{window, system, log};
    PreInstallOutcome outcome;
    if (const unsigned long error = StagePackage(run, request.programPath, places, outcome.inf))
        return FailedStep(error);
    // What the setup must bring into the driver store: the INF it is staged beside.
    const Result<std::string> stagedInf = system.files.ReadFileBytes(places.stagedInf);
    if (!stagedInf) {
        run.ShowFailure(InfUnreadableMessage(), stagedInf.Error());
        return FailedStep(stagedInf.Error());
    }
    const Result<std::string> tempFolder = MakeSetupTempFolder(system.files, places.staging);
    if (!tempFolder) {
        run.ShowFailure(CreateDirectoryFailedMessage(places.staging + kSetupTempPrefix), tempFolder.Error());
        return FailedStep(tempFolder.Error());
    }
    const std::uint32_t startedAt = system.clock.MillisecondsNow();
    Result<StartedSetup> setup = StartCheckedSetup(run, places, *tempFolder, request.setupSha256);
    if (!setup) {
        RemoveSetupTempFolder(run, *tempFolder);
        return FailedStep(setup.Error());
    }
    const ExpectedPackage package{places.infFolder, *stagedInf};
    outcome.setup = WaitForSetupOutcome(system, waiting, log, package, *setup, startedAt, limits);
    if (outcome.setup.verdict != Verdict::Abandoned) // else the setup still works in it
        RemoveSetupTempFolder(run, *tempFolder);
    TellVerdict(run, outcome.setup);
    return outcome;
}

PreInstallOutcome RunWindowPreInstall(WindowOps& window, const OperatingSystem& system, SetupWaiting& waiting,
    RunReport& report, const PreInstallRequest& request)
{
    report.Start();
    PreInstallOutcome outcome;
    if (const Result<std::string> windowsDirectory = system.files.WindowsDirectory()) {
        outcome = RunPreInstall(window, system, waiting, report.Log(), PlacesIn(*windowsDirectory), request,
            {std::nullopt, kWindowAfterSetupSeconds});
    } else {
        Warn(window, report.Log(), kWindowsDirectoryFailedMessage, kIconExclamation);
        outcome = FailedStep(windowsDirectory.Error());
    }
    if (outcome.error != 0 || outcome.setup.verdict != Verdict::Abandoned)
        report.EndWithoutEvent(SummaryOf(outcome, DeploymentExitCode(outcome)));
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

RunSummary SummaryOf(const PreInstallOutcome& outcome, unsigned long exitCode)
{
    RunSummary summary;
    summary.exitCode = exitCode;
    summary.setupExitCode = outcome.setup.setupExitCode;
    summary.storeCopy = outcome.setup.storeCopy;
    if (!outcome.inf.driverDate.empty())
        summary.driverVer = outcome.inf.driverDate + "," + outcome.inf.driverVersion;
    return summary;
}
