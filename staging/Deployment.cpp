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

// One run of the deployment rules: it ends once, with one event and the result line last.
class DeploymentRun {
public:
    DeploymentRun(Deployment& deployment, RunKind kind)
        : deployment(deployment)
        , kind_(kind)
        , startedAt_(deployment.system.clock.MillisecondsNow())
    {
    }

    // Reports the run's event, then records its result line; returns `code`.
    unsigned long Finish(unsigned long code)
    {
        if (finished_)
            return code;
        finished_ = true;
        summary.exitCode = code;
        summary.seconds = (deployment.system.clock.MillisecondsNow() - startedAt_) / 1000;
        summary.programVersion = deployment.programVersion;
        summary.logPath = deployment.logPath;
        if (const unsigned long error = ReportRunEvent(deployment.records.events, kind_, summary))
            deployment.log.Record(EventReportFailedLine(Describe(error)));
        RecordResult(deployment.log, deployment.system.errors, summary);
        return code;
    }

    // Ends a run that did not get to its work: the reason in the log and, where there is a
    // window, in a box.
    unsigned long GiveWay(const std::string& reason, unsigned long code)
    {
        deployment.log.Record(reason);
        Finish(code);
        deployment.window.ShowMessage(reason, kWarningCaption, kIconExclamation);
        return code;
    }

    // A record that cannot be kept true ends the run in that error: a deployment tool must
    // not read success from it.
    unsigned long RecordFailed(const std::string& line, unsigned long error)
    {
        deployment.log.Record(line);
        return Finish(error);
    }

    // Anything unexpected is logged and ends the run in 1603, never in a success.
    template <class Work> unsigned long Guarded(const Work& work)
    {
        try {
            return work();
        } catch (const std::exception& exception) {
            deployment.log.Record(UnexpectedErrorLine(exception.what()));
        } catch (...) {
            deployment.log.Record(UnexpectedErrorLine(""));
        }
        return Finish(kErrorInstallFailure);
    }

    std::string Describe(unsigned long error) { return deployment.system.errors.DescribeError(error); }

    Deployment& deployment;
    RunSummary summary;

private:
    RunKind kind_;
    std::uint32_t startedAt_;
    bool finished_ = false;
};

// Removes what earlier uninstalls left renamed aside in their temporary folders (`windows`
// ends in "\\"), and each folder that then is empty. A folder that holds anything else is
// in use, or not ours to judge.
void RemoveLeftContinuations(Deployment& deployment, const std::string& windows)
{
    Files& files = deployment.system.files;
    const Result<std::vector<std::string>> names = files.ListFolder(windows);
    if (!names)
        return;
    for (const std::string& name : *names) {
        const std::string folder = windows + name;
        if (name.rfind(kContinuationFolderPrefix, 0) != 0 || files.KindOfPath(folder) != PathKind::Folder)
            continue;
        const Result<std::vector<std::string>> entries = files.ListFolder(folder);
        if (!entries || entries->empty() || !std::all_of(entries->begin(), entries->end(), IsAsideName))
            continue;
        RemoveLeftovers(files, deployment.log, folder + "\\");
        files.RemoveEmptyFolder(folder); // refused while anything stayed
    }
}

// Runs `work` holding the lock, unless another run holds it or a staged setup still runs
// (1618: retry later). A lock that cannot be placed ends the run in its error.
template <class Work> unsigned long UnderLock(DeploymentRun& run, const Work& work)
{
    Deployment& deployment = run.deployment;
    const Result<std::string> windowsDirectory = WindowsDirectory(deployment.system.files);
    if (!windowsDirectory)
        return run.GiveWay(
            WindowsDirectoryUnreadableLine(run.Describe(windowsDirectory.Error())), windowsDirectory.Error());
    if (const unsigned long error = deployment.lock.Take(EnsureTrailingBackslash(*windowsDirectory) + kLockFileName)) {
        // Access denied is not another run: the account may not write the Windows directory.
        if (error == kErrorSharingViolation)
            return run.GiveWay(AlreadyRunningLine(), kErrorInstallAlreadyRunning);
        return run.GiveWay(LockFailedLine(run.Describe(error)), error);
    }
    const std::string stagedSetup =
        EnsureTrailingBackslash(*windowsDirectory) + kStagingFolderName + "\\" + kStagedSetupName;
    if (const std::optional<RunningProcess> setup = deployment.runningSetup.StagedSetupRunning(stagedSetup))
        return run.GiveWay(SetupStillRunningLine(setup->processId, setup->path), kErrorInstallAlreadyRunning);
    RemoveLeftContinuations(deployment, EnsureTrailingBackslash(*windowsDirectory));
    return work();
}

bool Succeeded(const PreInstallOutcome& outcome)
{
    return outcome.error == 0 && outcome.setup.verdict == Verdict::Succeeded;
}

// Records how the run ended. Installed was withdrawn when the run began; it comes back
// only for the verdict's success, after every other record. The Driver* values describe
// the last successful pre-install: a failed run leaves them.
unsigned long RecordRunInMarker(Deployment& deployment, unsigned long exitCode, const PreInstallOutcome& outcome)
{
    RegistryKey& marker = deployment.records.marker;
    const std::optional<unsigned long> setupExitCode = outcome.setup.setupExitCode;
    const bool succeeded = Succeeded(outcome);
    // Each write only while the ones before it succeeded.
    unsigned long error = marker.SetText(kMarkerVersion, deployment.programVersion);
    if (error == 0)
        error = marker.SetNumber(kMarkerLastExitCode, exitCode);
    if (error == 0)
        error = setupExitCode ? marker.SetNumber(kMarkerSetupExitCode, *setupExitCode)
                              : marker.RemoveValue(kMarkerSetupExitCode);
    if (error == 0)
        error = marker.SetText(kMarkerLastRun, deployment.system.clock.LocalTime());
    if (error == 0 && succeeded)
        error = marker.SetText(kMarkerDriverStoreInf, outcome.setup.storeCopy);
    if (error == 0 && succeeded)
        error = marker.SetText(kMarkerDriverVersion, outcome.inf.driverVersion);
    if (error == 0 && succeeded)
        error = marker.SetText(kMarkerDriverDate, outcome.inf.driverDate);
    if (error == 0 && succeeded)
        error = marker.SetText(kMarkerDriverProvider, outcome.inf.provider);
    if (error == 0 && succeeded)
        error = marker.SetText(kMarkerDriverClassGuid, outcome.inf.classGuid);
    return error;
}

bool UsesStoreHelper(Deployment& deployment)
{
    return deployment.storeHelper && deployment.system.driverStore.ThisWindows().architecture != "x86";
}

// Keeps `from` as `kept` in the staging folder; 0 or the error, logged. Nothing to do when
// this run is the kept copy.
unsigned long KeepFile(DeploymentRun& run, const std::string& from, const std::string& kept)
{
    Deployment& deployment = run.deployment;
    if (LowerAscii(from) != LowerAscii(kept)) {
        if (const unsigned long error = ReplaceWithCopy(deployment.system.files, deployment.log, from, kept)) {
            deployment.log.Record(KeepingFailedLine(kept, run.Describe(error)));
            return error;
        }
    }
    deployment.log.Record(KeptCopyLine(kept));
    return 0;
}

// Keeps a copy of this program in the staging folder, and on 64-bit Windows its store
// helper beside it, for the uninstall. A helper missing beside the program is only logged:
// the install has succeeded, and the uninstall will say so.
unsigned long KeepProgram(DeploymentRun& run, const std::string& stagingDirectory)
{
    const std::string self = run.deployment.window.ExecutablePath();
    if (const unsigned long error = KeepFile(run, self, stagingDirectory + kKeptProgramName))
        return error;
    if (!UsesStoreHelper(run.deployment))
        return 0;
    const unsigned long error =
        KeepFile(run, ExtractFilePath(self) + kStoreHelperName, stagingDirectory + kStoreHelperName);
    return error == kErrorFileNotFound ? 0 : error;
}

// The event source's registration names the kept copy's message table. A failure is logged
// and changes nothing else.
void RegisterEventSource(DeploymentRun& run, const std::string& keptCopy)
{
    RegistryKey& source = run.deployment.records.eventSource;
    unsigned long error = source.SetExpandableText(kSourceEventMessageFile, keptCopy);
    if (error == 0)
        error = source.SetNumber(kSourceTypesSupported, kAllEventTypes);
    run.deployment.log.Record(
        error == 0 ? EventSourceRegisteredLine(keptCopy) : EventSourceFailedLine(run.Describe(error)));
}

// What is staged, in KB, as Programs and Features shows an installed program's size.
unsigned long StagedKilobytes(Files& files, const std::string& stagingDirectory)
{
    std::uint64_t bytes = 0;
    if (const Result<std::vector<std::string>> names = files.ListFolder(stagingDirectory))
        for (const std::string& name : *names)
            if (const Result<std::uint64_t> size = files.FileSize(stagingDirectory + name))
                bytes += *size;
    return static_cast<unsigned long>((bytes + 1023) / 1024);
}

// "2026-12-09 13:00:00" as Programs and Features' yyyymmdd.
std::string InstallDate(const std::string& localTime)
{
    std::string date;
    for (const char character : localTime.substr(0, 10))
        if (character != '-')
            date += character;
    return date;
}

// Programs and Features' entry for the driver, whose uninstall is the kept copy's; 0 or
// the error, logged.
unsigned long WriteProgramsEntry(DeploymentRun& run, const PreInstallOutcome& outcome)
{
    Deployment& deployment = run.deployment;
    RegistryKey& entry = deployment.records.programsEntry;
    const std::string& staging = outcome.stagingDirectory;
    const std::string kept = staging + kKeptProgramName;
    const std::string uninstall = "\"" + kept + "\" /UNINSTALL";
    const std::pair<const char*, std::string> texts[] = {{kEntryDisplayName, ProgramsEntryName(outcome.inf.provider)},
        {kEntryDisplayVersion, outcome.inf.driverVersion}, {kEntryPublisher, outcome.inf.provider},
        {kEntryInstallLocation, staging.substr(0, staging.size() - 1)}, {kEntryDisplayIcon, kept},
        {kEntryInstallDate, InstallDate(deployment.system.clock.LocalTime())}, {kEntryUninstallString, uninstall},
        {kEntryQuietUninstallString, uninstall + " /S"}};
    unsigned long error = 0;
    for (const auto& [name, value] : texts)
        if (error == 0)
            error = entry.SetText(name, value);
    const std::pair<const char*, unsigned long> numbers[] = {
        {kEntryEstimatedSize, StagedKilobytes(deployment.system.files, staging)}, {kEntryNoModify, 1},
        {kEntryNoRepair, 1}};
    for (const auto& [name, value] : numbers)
        if (error == 0)
            error = entry.SetNumber(name, value);
    if (error != 0) {
        deployment.log.Record(ProgramsEntryFailedLine(run.Describe(error)));
        return error;
    }
    deployment.log.Record(ProgramsEntryWrittenLine());
    return 0;
}

// After a success, before Installed: the kept copy, the event source, the entry.
unsigned long RecordSuccess(DeploymentRun& run, const PreInstallOutcome& outcome)
{
    Deployment& deployment = run.deployment;
    if (const unsigned long error = KeepProgram(run, outcome.stagingDirectory))
        return error;
    RegisterEventSource(run, outcome.stagingDirectory + kKeptProgramName);
    if (!deployment.programsEntry) {
        deployment.log.Record(ProgramsEntryLeftOutLine());
        return 0;
    }
    return WriteProgramsEntry(run, outcome);
}

unsigned long InstallAndRecord(DeploymentRun& run, unsigned long timeoutSeconds)
{
    Deployment& deployment = run.deployment;
    RegistryKey& marker = deployment.records.marker;
    if (const unsigned long error = marker.RemoveValue(kMarkerInstalled))
        return run.RecordFailed(MarkerFailedLine(run.Describe(error)), error);
    // The procedure returns once the setup's outcome is judged: a run killed before then
    // leaves no Installed.
    const PreInstallOutcome outcome = RunPreInstall(deployment.window, deployment.system, deployment.waiting,
        deployment.log, {timeoutSeconds, std::nullopt}, deployment.setupSha256);
    const unsigned long code = DeploymentExitCode(outcome);
    run.summary = SummaryOf(outcome, code);
    if (const unsigned long error = RecordRunInMarker(deployment, code, outcome))
        return run.RecordFailed(MarkerFailedLine(run.Describe(error)), error);
    if (!Succeeded(outcome))
        return run.Finish(code);
    if (const unsigned long error = RecordSuccess(run, outcome))
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
        run.deployment.log.Record(line);
        if (outcome.error == 0) {
            outcome.error = removed.Error();
            outcome.failure = line;
        }
    } else if (*removed) {
        run.deployment.log.Record(removedLine);
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
        deployment.log.Record(MarkerKeptLine());
        if (const unsigned long error = deployment.records.marker.SetNumber(kMarkerLastExitCode, outcome.error))
            deployment.log.Record(MarkerFailedLine(run.Describe(error)));
        return;
    }
    RemoveRecord(run, deployment.records.marker, outcome, MarkerRemovedLine(), MarkerRemovedItem(), MarkerFailedLine);
    RemoveRecord(run, deployment.records.programsEntry, outcome, ProgramsEntryRemovedLine(), ProgramsEntryRemovedItem(),
        ProgramsEntryFailedLine);
    if (outcome.error != 0)
        return;
    if (const Result<bool> removed = deployment.records.eventSource.RemoveAll(); !removed)
        deployment.log.Record(EventSourceFailedLine(run.Describe(removed.Error())));
    else if (*removed)
        deployment.log.Record(EventSourceRemovedLine());
}

unsigned long RemoveAndFollowWithTheRecords(DeploymentRun& run, const std::optional<std::string>& continuationFolder)
{
    Deployment& deployment = run.deployment;
    const auto read = [&](const char* name) { return deployment.records.marker.ReadText(name).value_or(""); };
    RecordedStoreCopy recorded;
    recorded.name = read(kMarkerDriverStoreInf);
    recorded.inf.driverDate = read(kMarkerDriverDate);
    recorded.inf.driverVersion = read(kMarkerDriverVersion);
    recorded.inf.provider = read(kMarkerDriverProvider);
    recorded.inf.classGuid = read(kMarkerDriverClassGuid);
    run.summary.storeCopy = recorded.name;
    if (!recorded.inf.driverDate.empty())
        run.summary.driverVer = recorded.inf.driverDate + "," + recorded.inf.driverVersion;
    UninstallOutcome outcome =
        RunUninstall(deployment.system, deployment.log, recorded, deployment.storeHelper, continuationFolder);
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
std::optional<std::string> ContinuationFolderOf(Deployment& deployment, const std::string& windowsDirectory)
{
    const std::string folder = ExtractFilePath(deployment.window.ExecutablePath());
    const std::string prefix = EnsureTrailingBackslash(windowsDirectory) + kContinuationFolderPrefix;
    if (LowerAscii(folder).rfind(LowerAscii(prefix), 0) != 0 || folder.find('\\', prefix.size()) != folder.size() - 1)
        return std::nullopt;
    return folder;
}

// Whether this program runs from the staging folder (it is the kept copy): a running
// program cannot remove itself.
bool RunsFromTheStagingFolder(Deployment& deployment, const std::string& windowsDirectory)
{
    const std::string staging = EnsureTrailingBackslash(windowsDirectory) + kStagingFolderName + "\\";
    return LowerAscii(ExtractFilePath(deployment.window.ExecutablePath())) == LowerAscii(staging);
}

// A new folder in the Windows directory, where only administrators create folders, closed
// to ordinary users.
Result<std::string> NewProtectedFolder(Files& files, const std::string& windowsDirectory)
{
    for (int number = 1; number <= kFolderNameTries; ++number) {
        const std::string folder =
            EnsureTrailingBackslash(windowsDirectory) + kContinuationFolderPrefix + std::to_string(number);
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
// folder's name is new and used by no install.
void RemoveTemporaryCopy(Files& files, const std::string& folder)
{
    const TreeRemoval removal = RemoveTree(files, folder, HeldFiles{folder + "\\", {}});
    bool stays = !removal.atRestart.empty() || !removal.leftAside.empty();
    for (const TreeRemoval::Failure& failure : removal.failures)
        if (failure.step == TreeRemoval::Step::File && files.RemoveAtRestart(failure.path) == 0)
            stays = true;
    if (stays)
        files.RemoveAtRestart(folder);
}

// The uninstall started from the kept copy goes on in a copy of this program (and its store
// helper) in a new protected folder, with the same arguments; its exit code is this run's.
// That run reports the event and writes the result line.
unsigned long ContinueFromTemporaryCopy(DeploymentRun& run, const std::string& windowsDirectory)
{
    Deployment& deployment = run.deployment;
    Files& files = deployment.system.files;
    const std::string self = deployment.window.ExecutablePath();
    Result<std::string> folder = NewProtectedFolder(files, windowsDirectory);
    std::string copy;
    unsigned long error = folder.Error();
    if (folder) {
        copy = *folder + kKeptProgramName;
        error = files.CopyToNewFile(self, copy);
        const std::string helper = ExtractFilePath(self) + kStoreHelperName;
        if (error == 0 && files.KindOfPath(helper) == PathKind::File)
            error = files.CopyToNewFile(helper, *folder + kStoreHelperName);
    }
    Result<std::unique_ptr<StartedProgram>> started = Failed{error};
    if (error == 0) {
        deployment.log.Record(ContinuingFromCopyLine(copy));
        started = deployment.system.programs.StartSuspended({copy, deployment.arguments, *folder}, false);
    }
    Result<unsigned long> exitCode = Failed{started.Error()};
    if (started) {
        (*started)->Resume();
        exitCode = (*started)->WaitForExit(kWaitForever);
    }
    if (folder)
        RemoveTemporaryCopy(files, folder->substr(0, folder->size() - 1));
    if (!exitCode)
        return run.RecordFailed(ContinuationFailedLine(run.Describe(exitCode.Error())), exitCode.Error());
    return *exitCode;
}

} // namespace

unsigned long RunDeploymentInstall(Deployment& deployment, unsigned long timeoutSeconds)
{
    DeploymentRun run(deployment, RunKind::Install);
    return run.Guarded([&] { return UnderLock(run, [&] { return InstallAndRecord(run, timeoutSeconds); }); });
}

unsigned long RunDeploymentUninstall(Deployment& deployment)
{
    DeploymentRun run(deployment, RunKind::Uninstall);
    return run.Guarded([&] {
        const Result<std::string> windowsDirectory = WindowsDirectory(deployment.system.files);
        if (windowsDirectory && RunsFromTheStagingFolder(deployment, *windowsDirectory))
            return ContinueFromTemporaryCopy(run, *windowsDirectory);
        const std::optional<std::string> continuationFolder =
            windowsDirectory ? ContinuationFolderOf(deployment, *windowsDirectory) : std::nullopt;
        return UnderLock(run, [&] { return RemoveAndFollowWithTheRecords(run, continuationFolder); });
    });
}
