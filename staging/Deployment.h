// The rules of the runs that deployment tools start (/S, /UNINSTALL), around the
// procedures and never inside them: one run per PC at a time, no run while a staged setup
// still runs, a bounded wait for the setup, the exit code, the detection marker that tells
// the tools what is installed, and what administrators expect of an installer: a kept
// copy of the program, a Programs and Features entry whose uninstall works from it, and one
// event per run in the Application log. Portable: Windows is reached only through the small
// interfaces below and those of Interfaces.h. All strings are UTF-8.
#pragma once

#include "staging/DeploymentRecords.h"
#include "staging/PreInstall.h"
#include "staging/RunReport.h"
#include "staging/Uninstall.h"

#include <string>

// The lock of unattended runs: one per PC, whoever started it.
class RunLock {
public:
    virtual ~RunLock() = default;
    // Takes the lock file at `path` for the rest of the run: 0, kErrorSharingViolation
    // while another run holds it, or the system's error.
    [[nodiscard]] virtual unsigned long Take(const std::string& path) = 0;
};

// A process that runs a given program file.
struct RunningProcess {
    unsigned long processId = 0;
    std::string path; // as Windows reports the process's image; empty when it could not tell
};

// Whether the staged setup started earlier (from the window, or by a run that was killed)
// still runs: its files must not be replaced under it, nor a second one started. Only a
// process whose image is `stagedSetup` (its full path) counts, never another program of
// the same name.
class RunningSetupCheck {
public:
    virtual ~RunningSetupCheck() = default;
    virtual std::optional<RunningProcess> StagedSetupRunning(const std::string& stagedSetup) = 0;
};

// What a deployment leaves for the administrators' tools.
struct DeploymentRecords {
    RegistryKey& marker;
    RegistryKey& programsEntry; // Programs and Features
    RegistryKey& eventSource;   // the Application log's registration of the program's source
};

// Everything a deployment run works with. `window` tells the outcome: nothing when
// unattended, one box for /UNINSTALL without /S. The run ends in `report`, whose log
// records every step.
struct Deployment {
    WindowOps& window;
    OperatingSystem system;
    SetupWaiting& waiting;
    RunReport& report;
    RunLock& lock;
    RunningSetupCheck& runningSetup;
    DeploymentRecords records;
    std::string programPath;                           // this program's file
    std::string setupSha256 = {};                      // /SETUPSHA256, lower case; empty when not given
    std::optional<NativeStoreHelper> storeHelper = {}; // the 32-bit build's
    bool programsEntry = true;                         // false with /NOARP
    std::string arguments = {};                        // the command line after the program's name
};

// /S: under the lock, withdraws Installed, runs the procedure, which waits at most
// `timeoutSeconds` for the setup and what it started (a setup still running then is ended
// with what it started: 1460), records the run in the marker and returns the exit code
// (DeploymentExitCode; 1618 while another run holds the lock or a staged setup still
// runs; 1603 for anything unexpected). A success also keeps a copy of the program (and on
// 64-bit Windows its store helper) in the staging folder, registers the event source and,
// unless /NOARP, writes the Programs and Features entry; then Installed. One event reports
// the run.
unsigned long RunDeploymentInstall(Deployment& deployment, unsigned long timeoutSeconds);

// /UNINSTALL: under the same lock, removes what was installed, then the marker and the
// Programs and Features entry, unless a driver-store copy stayed: then they stay too, for
// the tools still see the driver; after a complete removal, the event source's
// registration. Tells the outcome once through the deployment's window, and in one event.
// 0 also when there was nothing to remove, otherwise the first failing step's code. Started
// from the kept copy, it continues from a copy of itself in a new protected folder and
// ends in that run's code.
unsigned long RunDeploymentUninstall(Deployment& deployment);
