#include "shell/Unattended.h"

#include "StoreHelperSha256.h"
#include "shell/ShellTexts.h"
#include "staging/Deployment.h"
#include "staging/DriverPackage.h"
#include "staging/Paths.h"
#include "win32/SetupWaiting.h"
#include "win32/Text.h"

#include <windows.h>

namespace {

// Builds the deployment for one run and hands it to `run`.
template <class Run>
unsigned long WithDeployment(
    WindowsParts& parts, RunReport& report, WindowOps& window, const CommandLineRequest& request, const Run& run)
{
    // No "insert a disk" or fault boxes from Windows: nobody is there to answer.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    const std::string commandLine = Narrow(GetCommandLineW());
    report.Log().Record(CommandLineLogLine(commandLine));
    BlockingWaiting waiting;
    Deployment deployment{
        window, parts.system, waiting, report, parts.lock, parts.runningSetup, parts.records, ExecutableFilePath()};
    deployment.setupSha256 = request.setupSha256;
    deployment.programsEntry = request.programsEntry;
    deployment.arguments = ArgumentsOf(commandLine);
    // The 32-bit build's 64-bit store helper, beside it; a 64-bit build has none.
    if (const std::string sha256 = PREINSTALL_STORE_HELPER_SHA256; !sha256.empty())
        deployment.storeHelper = NativeStoreHelper{ExtractFilePath(deployment.programPath) + kStoreHelperName, sha256};
    return run(deployment);
}

} // namespace

unsigned long RunUnattendedPreInstall(WindowsParts& parts, RunReport& report, const CommandLineRequest& request)
{
    NoWindowOps window;
    return WithDeployment(parts, report, window, request,
        [&](Deployment& deployment) { return RunDeploymentInstall(deployment, request.setupTimeoutSeconds); });
}

unsigned long RunUninstallCommand(
    WindowsParts& parts, RunReport& report, WindowOps& window, const CommandLineRequest& request)
{
    return WithDeployment(
        parts, report, window, request, [](Deployment& deployment) { return RunDeploymentUninstall(deployment); });
}
