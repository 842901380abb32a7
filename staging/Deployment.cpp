#include "staging/Deployment.h"

#include "resources/ProductName.h"
#include "staging/DriverPackage.h"
#include "staging/Paths.h"
#include "staging/Texts.h"
#include "staging/Uninstall.h"

#include <exception>

namespace {

// Ends a run that did not get to its work: the reason in the log and, where there is a
// window, in a box.
unsigned long GiveWay(Deployment& deployment, const std::string& reason, unsigned long code)
{
    deployment.log.Record(reason);
    RecordResult(deployment.log, deployment.system.errors, code);
    deployment.window.ShowMessage(reason, kWarningCaption, kIconExclamation);
    return code;
}

// Runs `work` holding the lock, unless another run holds it or a staged setup still runs
// (1618: retry later). A lock that cannot be placed ends the run in its error.
template <class Work> unsigned long UnderLock(Deployment& deployment, const Work& work)
{
    ErrorTexts& errors = deployment.system.errors;
    const Result<std::string> windowsDirectory = WindowsDirectory(deployment.system.files);
    if (!windowsDirectory)
        return GiveWay(deployment, WindowsDirectoryUnreadableLine(errors.DescribeError(windowsDirectory.Error())),
            windowsDirectory.Error());
    if (const unsigned long error = deployment.lock.Take(EnsureTrailingBackslash(*windowsDirectory) + kLockFileName)) {
        // Access denied is not another run: the account may not write the Windows directory.
        if (error == kErrorSharingViolation)
            return GiveWay(deployment, AlreadyRunningLine(), kErrorInstallAlreadyRunning);
        return GiveWay(deployment, LockFailedLine(errors.DescribeError(error)), error);
    }
    const std::string stagedSetup =
        EnsureTrailingBackslash(*windowsDirectory) + kStagingFolderName + "\\" + kStagedSetupName;
    if (const std::optional<RunningProcess> setup = deployment.runningSetup.StagedSetupRunning(stagedSetup))
        return GiveWay(deployment, SetupStillRunningLine(setup->processId, setup->path), kErrorInstallAlreadyRunning);
    return work();
}

// Anything unexpected is logged and ends the run in 1603, never in a success.
template <class Work> unsigned long Guarded(Deployment& deployment, const Work& work)
{
    try {
        return work();
    } catch (const std::exception& exception) {
        deployment.log.Record(UnexpectedErrorLine(exception.what()));
    } catch (...) {
        deployment.log.Record(UnexpectedErrorLine(""));
    }
    RecordResult(deployment.log, deployment.system.errors, kErrorInstallFailure);
    return kErrorInstallFailure;
}

// A marker that cannot be kept true ends the run in that error: a deployment tool must not
// read success from it.
unsigned long MarkerFailed(Deployment& deployment, unsigned long error)
{
    deployment.log.Record(MarkerFailedLine(deployment.system.errors.DescribeError(error)));
    RecordResult(deployment.log, deployment.system.errors, error);
    return error;
}

// Records how the run ended. Installed was withdrawn when the run began; it comes back
// only for the verdict's success, and only after every other value was written. The
// Driver* values describe the last successful pre-install: a failed run leaves them.
unsigned long RecordRunInMarker(Deployment& deployment, unsigned long exitCode, const PreInstallOutcome& outcome)
{
    DetectionMarker& marker = deployment.marker;
    const std::optional<unsigned long> setupExitCode = outcome.setup.setupExitCode;
    const bool succeeded = outcome.error == 0 && outcome.setup.verdict == Verdict::Succeeded;
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
    if (error == 0 && succeeded)
        error = marker.SetNumber(kMarkerInstalled, 1);
    return error;
}

unsigned long InstallAndRecord(Deployment& deployment, unsigned long timeoutSeconds)
{
    if (const unsigned long error = deployment.marker.RemoveValue(kMarkerInstalled))
        return MarkerFailed(deployment, error);
    // The procedure returns once the setup's outcome is judged: a run killed before then
    // leaves no Installed.
    const PreInstallOutcome outcome = RunPreInstall(deployment.window, deployment.system, deployment.waiting,
        deployment.log, {timeoutSeconds, std::nullopt}, deployment.setupSha256);
    const unsigned long code = DeploymentExitCode(outcome);
    if (const unsigned long error = RecordRunInMarker(deployment, code, outcome))
        return MarkerFailed(deployment, error);
    RecordResult(deployment.log, deployment.system.errors, code);
    return code;
}

// The marker follows the driver: it goes with a complete removal from the driver store.
void RemoveMarkerAfter(Deployment& deployment, UninstallOutcome& outcome)
{
    if (outcome.driverStoreError != 0) {
        // Installed and the driver's values stay true; the failed uninstall is on record.
        deployment.log.Record(MarkerKeptLine());
        if (const unsigned long error = deployment.marker.SetNumber(kMarkerLastExitCode, outcome.error))
            deployment.log.Record(MarkerFailedLine(deployment.system.errors.DescribeError(error)));
        return;
    }
    bool removed = false;
    if (const unsigned long error = deployment.marker.RemoveAll(removed)) {
        const std::string line = MarkerFailedLine(deployment.system.errors.DescribeError(error));
        deployment.log.Record(line);
        if (outcome.error == 0) {
            outcome.error = error;
            outcome.failure = line;
        }
    } else if (removed) {
        deployment.log.Record(MarkerRemovedLine());
        outcome.removed.push_back(MarkerRemovedItem());
    }
}

unsigned long RemoveAndFollowWithTheMarker(Deployment& deployment)
{
    const auto read = [&](const char* name) { return deployment.marker.ReadText(name).value_or(""); };
    RecordedStoreCopy recorded;
    recorded.name = read(kMarkerDriverStoreInf);
    recorded.inf.driverDate = read(kMarkerDriverDate);
    recorded.inf.driverVersion = read(kMarkerDriverVersion);
    recorded.inf.provider = read(kMarkerDriverProvider);
    recorded.inf.classGuid = read(kMarkerDriverClassGuid);
    UninstallOutcome outcome = RunUninstall(deployment.system, deployment.log, recorded, deployment.storeHelper);
    RemoveMarkerAfter(deployment, outcome);
    RecordResult(deployment.log, deployment.system.errors, outcome.error);
    if (outcome.error != 0)
        deployment.window.ShowMessage(outcome.failure, kWarningCaption, kIconExclamation);
    else
        deployment.window.ShowMessage(
            outcome.removed.empty() ? NothingToUninstallText() : UninstalledText(outcome.removed), PRODUCT_NAME,
            kIconInformation);
    return outcome.error;
}

} // namespace

unsigned long RunDeploymentInstall(Deployment& deployment, unsigned long timeoutSeconds)
{
    return Guarded(deployment,
        [&] { return UnderLock(deployment, [&] { return InstallAndRecord(deployment, timeoutSeconds); }); });
}

unsigned long RunDeploymentUninstall(Deployment& deployment)
{
    return Guarded(
        deployment, [&] { return UnderLock(deployment, [&] { return RemoveAndFollowWithTheMarker(deployment); }); });
}
