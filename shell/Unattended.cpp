#include "shell/Unattended.h"

#include "StoreHelperSha256.h"
#include "Version.h"
#include "shell/ShellTexts.h"
#include "staging/Deployment.h"
#include "staging/DriverPackage.h"
#include "staging/Paths.h"
#include "staging/Texts.h"
#include "win32/Errors.h"
#include "win32/LocalTime.h"
#include "win32/LockFile.h"
#include "win32/LogFile.h"
#include "win32/MachineKeys.h"
#include "win32/Processes.h"
#include "win32/SetupWaiting.h"
#include "win32/Text.h"
#include "win32/WindowsSystem.h"

#include <windows.h>

namespace {

// Builds the deployment's Windows parts for one run and hands them to `run`.
template <class Run> unsigned long WithDeployment(WindowOps& window, const CommandLineRequest& request, const Run& run)
{
    // No "insert a disk" or fault boxes from Windows: nobody is there to answer.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    StepLog& log = ProgramLog();
    const std::string commandLine = Narrow(GetCommandLineW());
    log.Record(CommandLineLogLine(commandLine));
    WindowsSystem system;
    BlockingWaiting waiting;
    RunLockFile lock;
    StagedSetupByPath runningSetup;
    MachineRecords records;
    Deployment deployment{window, system, waiting, log, lock, runningSetup, records, PREINSTALL_VERSION};
    deployment.setupSha256 = request.setupSha256;
    deployment.programsEntry = request.programsEntry;
    deployment.logPath = request.logPath;
    deployment.arguments = ArgumentsOf(commandLine);
    // The 32-bit build's 64-bit store helper, beside it; a 64-bit build has none.
    if (const std::string sha256 = PREINSTALL_STORE_HELPER_SHA256; !sha256.empty())
        deployment.storeHelper = NativeStoreHelper{ExtractFilePath(window.ExecutablePath()) + kStoreHelperName, sha256};
    return run(deployment);
}

} // namespace

unsigned long RunUnattendedPreInstall(const CommandLineRequest& request)
{
    NoWindowOps window(ExecutableFilePath());
    return WithDeployment(window, request,
        [&](Deployment& deployment) { return RunDeploymentInstall(deployment, request.setupTimeoutSeconds); });
}

unsigned long RunUninstallCommand(WindowOps& window, const CommandLineRequest& request)
{
    return WithDeployment(window, request, [](Deployment& deployment) { return RunDeploymentUninstall(deployment); });
}

void ReportWindowRun(const RunSummary& lastPreInstall)
{
    ApplicationLog events;
    if (const unsigned long error = ReportRunEvent(events, RunKind::Install, lastPreInstall))
        ProgramLog().Record(EventReportFailedLine(DescribeError(error)));
}
