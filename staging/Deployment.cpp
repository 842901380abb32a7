#include "staging/Deployment.h"

#include "resources/ProductName.h"
#include "staging/Ascii.h"
#include "staging/DriverPackage.h"
#include "staging/Paths.h"
#include "staging/StagedFiles.h"
#include "staging/Texts.h"
#include "staging/Uninstall.h"

#include <algorithm>
#include <exception>
#include <optional>

namespace {

// How many free names the uninstall's temporary folder may try.
constexpr int kFolderNameTries = 100;

// One run of the deployment rules: it ends once, in the deployment's report.
class DeploymentRun {
public:
    explicit DeploymentRun(Deployment& deployment)
        : deployment(deployment)
        , log(deployment.report.Log())
    {
    }

    // Ends the run in `code`: its event, then its result line; returns `code`.
    unsigned long Finish(unsigned long code)
    {
        if (finished_)
            return code;
        finished_ = true;
        summary.exitCode = code;
        deployment.report.End(summary);
        return code;
    }

    // Ends a run that did not get to its work: the reason in the log and, where there is a
    // window, in a box.
    unsigned long GiveWay(const std::string& reason, unsigned long code)
    {
        log.Record(reason);
        Finish(code);
        deployment.window.ShowMessage(reason, kWarningCaption, kIconExclamation);
        return code;
    }

    // A record that cannot be kept true ends the run in that error: a deployment tool must
    // not read success from it.
    unsigned long RecordFailed(const std::string& line, unsigned long error)
    {
        log.Record(line);
        return Finish(error);
    }

    // Anything unexpected is logged and ends the run in 1603, never in a success.
    template <class Work> unsigned long Guarded(const Work& work)
    {
        try {
            return work();
        } catch (const std::exception& exception) {
            log.Record(UnexpectedErrorLine(exception.what()));
        } catch (...) {
            log.Record(UnexpectedErrorLine(""));
        }
        return Finish(kErrorInstallFailure);
    }

    std::string Describe(unsigned long error) { return deployment.system.errors.DescribeError(error); }

    Deployment& deployment;
    StepLog& log;
    RunSummary summary;

private:
    bool finished_ = false;
};

// Removes what earlier uninstalls left renamed aside in their temporary folders, and each
// folder that then is empty. A folder that holds anything else is in use, or not ours to
// judge.
void RemoveLeftContinuations(DeploymentRun& run, const Places& places)
{
    Files& files = run.deployment.system.files;
    const Result<std::vector<std::string>> names = files.ListFolder(places.windows);
    if (!names)
        return;
    for (const std::string& name : *names) {
        const std::string folder = places.windows + name;
        if (!places.IsContinuationFolder(folder + "\\") || files.KindOfPath(folder) != PathKind::Folder)
            continue;
        const Result<std::vector<std::string>> entries = files.ListFolder(folder);
        if (!entries || entries->empty() || !std::all_of(entries->begin(), entries->end(), IsAsideName))
            continue;
        RemoveLeftovers(files, run.log, folder + "\\");
        static_cast<void>(files.RemoveEmptyFolder(folder)); // refused while anything stayed
    }
}

// Runs `work` holding the lock, unless another run holds it or a staged setup still runs
// (1618: retry later). A lock that cannot be placed ends the run in its error.
template <class Work> unsigned long UnderLock(DeploymentRun& run, const Places& places, const Work& work)
{
    Deployment& deployment = run.deployment;
    if (const unsigned long error = deployment.lock.Take(places.lock)) {
        // Access denied is not another run: the account may not write the Windows directory.
        if (error == kErrorSharingViolation)
            return run.GiveWay(AlreadyRunningLine(), kErrorInstallAlreadyRunning);
        return run.GiveWay(LockFailedLine(run.Describe(error)), error);
    }
    if (const std::optional<RunningProcess> setup = deployment.runningSetup.StagedSetupRunning(places.stagedSetup))
        return run.GiveWay(SetupStillRunningLine(setup->processId, setup->path), kErrorInstallAlreadyRunning);
    RemoveLeftContinuations(run, places);
    return work();
}

// The places, from one read of the Windows directory, for `work`; a directory that cannot
// be read ends the run in its error.
template <class Work> unsigned long WithPlaces(DeploymentRun& run, const Work& work)
{
    const Result<std::string> windowsDirectory = run.deployment.system.files.WindowsDirectory();
    if (!windowsDirectory)
        return run.GiveWay(
            WindowsDirectoryUnreadableLine(run.Describe(windowsDirectory.Error())), windowsDirectory.Error());
    return work(PlacesIn(*windowsDirectory));
}

bool Succeeded(const PreInstallOutcome& outcome)
{
    return outcome.error == 0 && outcome.setup.verdict == Verdict::Succeeded;
}

bool UsesStoreHelper(Deployment& deployment)
{
    return deployment.storeHelper && deployment.system.platform.ThisWindows().architecture != "x86";
}

// Keeps `from` as `kept` in the staging folder; 0 or the error, logged. Nothing to do when
// this run is the kept copy.
unsigned long KeepFile(DeploymentRun& run, const std::string& from, const std::string& kept)
{
    if (LowerAscii(from) != LowerAscii(kept)) {
        if (const unsigned long error = ReplaceWithCopy(run.deployment.system.files, run.log, from, kept)) {
            run.log.Record(KeepingFailedLine(kept, run.Describe(error)));
            return error;
        }
    }
    run.log.Record(KeptCopyLine(kept));
    return 0;
}

// Keeps a copy of this program in the staging folder, and on 64-bit Windows its store
// helper beside it, for the uninstall. A helper missing beside the program is only logged:
// the install has succeeded, and the uninstall will say so.
unsigned long KeepProgram(DeploymentRun& run, const Places& places)
{
    const std::string& self = run.deployment.programPath;
    if (const unsigned long error = KeepFile(run, self, places.keptCopy))
        return error;
    if (!UsesStoreHelper(run.deployment))
        return 0;
    const unsigned long error = KeepFile(run, ExtractFilePath(self) + kStoreHelperName, places.keptStoreHelper);
    return error == kErrorFileNotFound ? 0 : error;
}

// What is staged, in KB, as Programs and Features shows an installed program's size.
unsigned long StagedKilobytes(Files& files, const std::string& staging)
{
    std::uint64_t bytes = 0;
    if (const Result<std::vector<std::string>> names = files.ListFolder(staging))
        for (const std::string& name : *names)
            if (const Result<std::uint64_t> size = files.FileSize(staging + name))
                bytes += *size;
    return static_cast<unsigned long>((bytes + 1023) / 1024);
}

// After a success, before Installed: the kept copy, the event source, the entry.
unsigned long RecordSuccess(DeploymentRun& run, const Places& places, const PreInstallOutcome& outcome)
{
    Deployment& deployment = run.deployment;
    if (const unsigned long error = KeepProgram(run, places))
        return error;
    // A registration that fails is logged and changes nothing else.
    const unsigned long sourceError = RegisterEventSource(deployment.records.eventSource, places.keptCopy);
    run.log.Record(sourceError == 0 ? EventSourceRegisteredLine(places.keptCopy)
                                    : EventSourceFailedLine(run.Describe(sourceError)));
    if (!deployment.programsEntry) {
        run.log.Record(ProgramsEntryLeftOutLine());
        return 0;
    }
    Files& files = deployment.system.files;
    const EntryFacts facts{
        places, outcome.inf, deployment.system.clock.LocalTime(), StagedKilobytes(files, places.staging)};
    if (const unsigned long error = WriteProgramsEntry(deployment.records.programsEntry, facts)) {
        run.log.Record(ProgramsEntryFailedLine(run.Describe(error)));
        return error;
    }
    run.log.Record(ProgramsEntryWrittenLine());
    return 0;
}

// What the marker records of a run that ended in `exitCode`.
InstallRecord RecordOf(Deployment& deployment, unsigned long exitCode, const PreInstallOutcome& outcome)
{
    InstallRecord record;
    record.programVersion = deployment.report.ProgramVersion();
    record.exitCode = exitCode;
    record.setupExitCode = outcome.setup.setupExitCode;
    record.localTime = deployment.system.clock.LocalTime();
    record.succeeded = Succeeded(outcome);
    record.storeCopy = {outcome.setup.storeCopy, outcome.inf};
    return record;
}

// Installed was withdrawn when the run began; it comes back only for the verdict's
// success, after every other record. The Driver* values describe the last successful
// pre-install: a failed run leaves them.
unsigned long InstallAndRecord(DeploymentRun& run, const Places& places, unsigned long timeoutSeconds)
{
    Deployment& deployment = run.deployment;
    RegistryKey& marker = deployment.records.marker;
    if (const unsigned long error = marker.RemoveValue(kMarkerInstalled))
        return run.RecordFailed(MarkerFailedLine(run.Describe(error)), error);
    // The procedure returns once the setup's outcome is judged: a run killed before then
    // leaves no Installed.
    const PreInstallOutcome outcome = RunPreInstall(deployment.window, deployment.system, deployment.waiting, run.log,
        places, {deployment.programPath, deployment.setupSha256}, {timeoutSeconds, std::nullopt});
    const unsigned long code = DeploymentExitCode(outcome);
    run.summary = SummaryOf(outcome, code);
    if (const unsigned long error = RecordInMarker(marker, RecordOf(deployment, code, outcome)))
        return run.RecordFailed(MarkerFailedLine(run.Describe(error)), error);
    if (!Succeeded(outcome))
        return run.Finish(code);
    if (const unsigned long error = RecordSuccess(run, places, outcome))
        return run.Finish(error);
    if (const unsigned long error = marker.SetNumber(kMarkerInstalled, 1))
        return run.RecordFailed(MarkerFailedLine(run.Describe(error)), error);
    return run.Finish(code);
}

// A key that follows the driver: it goes with a complete removal from the driver store.
// A failure to remove it fails the uninstall, told with `failedLine`.
void RemoveRecord(DeploymentRun& run, RegistryKey& key, UninstallOutcome& outcome, const std::string& removedLine,
    const std::string& removedItem, std::string (*failedLine)(const std::string& error))
{
    const Result<bool> removed = key.RemoveAll();
    if (!removed) {
        const std::string line = failedLine(run.Describe(removed.Error()));
        run.log.Record(line);
        if (outcome.error == 0) {
            outcome.error = removed.Error();
            outcome.failure = line;
        }
    } else if (*removed) {
        run.log.Record(removedLine);
        outcome.removed.push_back(removedItem);
    }
}

// The marker and the Programs and Features entry follow the driver: they go with a
// complete removal from the driver store, and stay while a copy stays there; the event
// source's registration goes at the end of an uninstall that succeeded.
void RemoveRecordsAfter(DeploymentRun& run, UninstallOutcome& outcome)
{
    Deployment& deployment = run.deployment;
    if (outcome.driverStoreError != 0) {
        // Installed and the driver's values stay true; the failed uninstall is on record.
        run.log.Record(MarkerKeptLine());
        if (const unsigned long error = deployment.records.marker.SetNumber(kMarkerLastExitCode, outcome.error))
            run.log.Record(MarkerFailedLine(run.Describe(error)));
        return;
    }
    RemoveRecord(run, deployment.records.marker, outcome, MarkerRemovedLine(), MarkerRemovedItem(), MarkerFailedLine);
    RemoveRecord(run, deployment.records.programsEntry, outcome, ProgramsEntryRemovedLine(), ProgramsEntryRemovedItem(),
        ProgramsEntryFailedLine);
    if (outcome.error != 0)
        return;
    if (const Result<bool> removed = deployment.records.eventSource.RemoveAll(); !removed)
        run.log.Record(EventSourceFailedLine(run.Describe(removed.Error())));
    else if (*removed)
        run.log.Record(EventSourceRemovedLine());
}

unsigned long RemoveAndFollowWithTheRecords(
    DeploymentRun& run, const Places& places, const std::optional<std::string>& continuationFolder)
{
    Deployment& deployment = run.deployment;
    const RecordedStoreCopy recorded = ReadRecordedStoreCopy(deployment.records.marker);
    run.summary.storeCopy = recorded.name;
    if (!recorded.inf.driverDate.empty())
        run.summary.driverVer = recorded.inf.driverDate + "," + recorded.inf.driverVersion;
    UninstallOutcome outcome =
        RunUninstall(deployment.system, run.log, places, recorded, deployment.storeHelper, continuationFolder);
    RemoveRecordsAfter(run, outcome);
    run.Finish(outcome.error);
    if (outcome.error != 0)
        deployment.window.ShowMessage(outcome.failure, kWarningCaption, kIconExclamation);
    else
        deployment.window.ShowMessage(
            outcome.removed.empty() ? NothingToUninstallText() : UninstalledText(outcome.removed), PRODUCT_NAME,
            kIconInformation);
    return outcome.error;
}

// The temporary folder this program runs from (ending in "\\") when it continues an
// uninstall that the kept copy started; nothing otherwise.
std::optional<std::string> ContinuationFolderOf(Deployment& deployment, const Places& places)
{
    const std::string folder = ExtractFilePath(deployment.programPath);
    return places.IsContinuationFolder(folder) ? std::optional(folder) : std::nullopt;
}

// A new folder in the Windows directory, where only administrators create folders, closed
// to ordinary users; ending in "\\".
Result<std::string> NewProtectedFolder(Files& files, const Places& places)
{
    for (int number = 1; number <= kFolderNameTries; ++number) {
        const std::string folder = places.ContinuationFolder(number);
        const Result<bool> created = files.MakeDirectory(folder);
        if (!created)
            return Failed{created.Error()};
        if (!*created)
            continue; // there already: not ours
        if (const unsigned long error = files.ProtectFolder(folder))
            return Failed{error};
        return folder + "\\";
    }
    return Failed{kErrorAlreadyExists};
}

// Removes the temporary copy once it has ended. What stays (this program's own file, which
// the continuation renamed into it) goes when Windows restarts, and the folder after it: the
// folder's name is new and used by no install. What cannot even be scheduled stays for the
// next run's clean-up.
void RemoveTemporaryCopy(Files& files, const std::string& folder)
{
    const TreeRemoval removal = RemoveTree(files, folder, HeldFiles{folder + "\\", {}});
    bool stays = !removal.atRestart.empty() || !removal.leftAside.empty();
    for (const TreeRemoval::Failure& failure : removal.failures)
        if (failure.step == TreeRemoval::Step::File && files.RemoveAtRestart(failure.path) == 0)
            stays = true;
    if (stays)
        static_cast<void>(files.RemoveAtRestart(folder));
}

// Copies this program, and its store helper when one is beside it, into `folder`: 0 or the
// error.
unsigned long CopyProgramInto(Files& files, const std::string& self, const std::string& folder)
{
    if (const unsigned long error = files.CopyToNewFile(self, folder + kKeptProgramName))
        return error;
    const std::string helper = ExtractFilePath(self) + kStoreHelperName;
    if (files.KindOfPath(helper) != PathKind::File)
        return 0;
    return files.CopyToNewFile(helper, folder + kStoreHelperName);
}

// Runs this program's copy in `folder` with the same arguments, to its end: its exit code.
Result<unsigned long> RunCopyIn(DeploymentRun& run, const std::string& folder)
{
    Deployment& deployment = run.deployment;
    if (const unsigned long error = CopyProgramInto(deployment.system.files, deployment.programPath, folder))
        return Failed{error};
    const std::string copy = folder + kKeptProgramName;
    run.log.Record(ContinuingFromCopyLine(copy));
    Result<std::unique_ptr<StartedProgram>> started =
        deployment.system.programs.StartSuspended({copy, deployment.arguments, folder}, false);
    if (!started)
        return Failed{started.Error()};
    (*started)->Resume();
    return (*started)->WaitForExit(kWaitForever);
}

// The uninstall started from the kept copy goes on in a copy of this program (and its store
// helper) in a new protected folder; its exit code is this run's. That run reports the
// event and writes the result line.
unsigned long ContinueFromTemporaryCopy(DeploymentRun& run, const Places& places)
{
    Files& files = run.deployment.system.files;
    const Result<std::string> folder = NewProtectedFolder(files, places);
    const Result<unsigned long> exitCode = folder ? RunCopyIn(run, *folder) : Failed{folder.Error()};
    if (folder)
        RemoveTemporaryCopy(files, folder->substr(0, folder->size() - 1));
    if (!exitCode)
        return run.RecordFailed(ContinuationFailedLine(run.Describe(exitCode.Error())), exitCode.Error());
    return *exitCode;
}

} // namespace

unsigned long RunDeploymentInstall(Deployment& deployment, unsigned long timeoutSeconds)
{
    DeploymentRun run(deployment);
    return run.Guarded([&] {
        return WithPlaces(run, [&](const Places& places) {
            return UnderLock(run, places, [&] { return InstallAndRecord(run, places, timeoutSeconds); });
        });
    });
}

unsigned long RunDeploymentUninstall(Deployment& deployment)
{
    DeploymentRun run(deployment);
    return run.Guarded([&] {
        return WithPlaces(run, [&](const Places& places) {
            // A running program cannot remove itself: the kept copy continues from another.
            if (places.IsStagingFolder(ExtractFilePath(deployment.programPath)))
                return ContinueFromTemporaryCopy(run, places);
            const std::optional<std::string> continuationFolder = ContinuationFolderOf(deployment, places);
            return UnderLock(
                run, places, [&] { return RemoveAndFollowWithTheRecords(run, places, continuationFolder); });
        });
    });
}
