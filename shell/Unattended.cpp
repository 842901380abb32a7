#include "shell/Unattended.h"

#include "StoreHelperSha256.h"
#include "Version.h"
#include "shell/ShellTexts.h"
#include "staging/Deployment.h"
#include "staging/DriverPackage.h"
#include "staging/Paths.h"
#include "win32/LocalTime.h"
#include "win32/LockFile.h"
#include "win32/LogFile.h"
#include "win32/Processes.h"
#include "win32/RegistryMarker.h"
#include "win32/SetupWaiting.h"
#include "win32/Text.h"
#include "win32/WindowsSystem.h"

#include <windows.h>

namespace {

// Builds the deployment's Windows parts for one run and hands them to `run`.
template <class Run> unsigned long WithDeployment(WindowOps& window, const Run& run)
{
    // No "insert a disk" or fault boxes from Windows: nobody is there to answer.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    StepLog& log = ProgramLog();
    log.Record(CommandLineLogLine(Narrow(GetCommandLineW())));
    WindowsSystem system;
    BlockingWaiting waiting;
    RunLockFile lock;
    StagedSetupByPath runningSetup;
    RegistryMarker marker;
    Deployment deployment{window, system, waiting, log, lock, runningSetup, marker, PREINSTALL_VERSION};
    return run(deployment);
}

} // namespace

unsigned long RunUnattendedPreInstall(unsigned long setupTimeoutSeconds, const std::string& setupSha256)
{
    NoWindowOps window(ExecutableFilePath());
    return WithDeployment(window, [&](Deployment& deployment) {
        deployment.setupSha256 = setupSha256;
        return RunDeploymentInstall(deployment, setupTimeoutSeconds);
    });
}

unsigned long RunUninstallCommand(WindowOps& window)
{
    return WithDeployment(window, [&](Deployment& deployment) {
        // The 32-bit build's 64-bit store helper, beside it; a 64-bit build has none.
        if (const std::string sha256 = PREINSTALL_STORE_HELPER_SHA256; !sha256.empty())
            deployment.storeHelper =
                NativeStoreHelper{ExtractFilePath(window.ExecutablePath()) + kStoreHelperName, sha256};
        return RunDeploymentUninstall(deployment);
    });
}
