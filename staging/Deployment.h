// The rules of the runs that deployment tools start (/S, /UNINSTALL), around the
// procedures and never inside them: one run per PC at a time, no run while a staged setup
// still runs, a bounded wait for the setup, the exit code, and the detection marker that
// tells the tools what is installed. Portable: Windows is reached only through the small
// interfaces below and those of Operations.h. All strings are UTF-8.
#pragma once

#include "staging/PreInstall.h"
#include "staging/Uninstall.h"

#include <string>

// The lock of unattended runs: one per PC, whoever started it.
class RunLock {
public:
    virtual ~RunLock() = default;
    // Takes the lock file at `path` for the rest of the run: 0, kErrorSharingViolation
    // while another run holds it, or the system's error.
    virtual unsigned long Take(const std::string& path) = 0;
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

// The detection marker's named values. Each call returns 0 or the system's error;
// removing what is not there is no failure.
class DetectionMarker {
public:
    virtual ~DetectionMarker() = default;
    virtual unsigned long SetNumber(const std::string& name, unsigned long value) = 0;
    virtual unsigned long SetText(const std::string& name, const std::string& value) = 0;
    virtual unsigned long RemoveValue(const std::string& name) = 0;
    // A text value; nothing when the marker or the value is not there.
    virtual std::optional<std::string> ReadText(const std::string& name) = 0;
    // Removes the whole marker; `removed` tells whether there was one.
    virtual unsigned long RemoveAll(bool& removed) = 0;
};

// The marker's values:
//   Installed      1, only after a run whose verdict is success; written last
//   Version        this program's version
//   LastExitCode   the run's exit code
//   SetupExitCode  the setup's own code, when the run waited for it to end
//   LastRun        local time of the run
//   DriverStoreInf the driver store's copy of TOVRA.INF (oemN.inf), after a success
//   DriverVersion  the version part of TOVRA.INF's DriverVer, after a success
//   DriverDate     its date part, as the INF writes it, after a success
//   DriverProvider, DriverClassGuid  TOVRA.INF's Provider and ClassGuid, after a success:
//                  with DriverVersion and DriverDate they tell whether the copy named in
//                  DriverStoreInf is still this package
inline constexpr const char* kMarkerInstalled = "Installed";
inline constexpr const char* kMarkerVersion = "Version";
inline constexpr const char* kMarkerLastExitCode = "LastExitCode";
inline constexpr const char* kMarkerSetupExitCode = "SetupExitCode";
inline constexpr const char* kMarkerLastRun = "LastRun";
inline constexpr const char* kMarkerDriverStoreInf = "DriverStoreInf";
inline constexpr const char* kMarkerDriverVersion = "DriverVersion";
inline constexpr const char* kMarkerDriverDate = "DriverDate";
inline constexpr const char* kMarkerDriverProvider = "DriverProvider";
inline constexpr const char* kMarkerDriverClassGuid = "DriverClassGuid";

// The lock file, in the Windows directory: only administrators can create files there.
inline constexpr const char* kLockFileName = "IcCardReaderUsbPreInstall.lock";

// Everything a deployment run works with. `window` tells the outcome: nothing when
// unattended, one box for /UNINSTALL without /S.
struct Deployment {
    WindowOps& window;
    OperatingSystem system;
    SetupWaiting& waiting;
    StepLog& log;
    RunLock& lock;
    RunningSetupCheck& runningSetup;
    DetectionMarker& marker;
    std::string programVersion;
    std::string setupSha256 = {};                      // /SETUPSHA256, lower case; empty when not given
    std::optional<NativeStoreHelper> storeHelper = {}; // the 32-bit build's, for the uninstall
};

// /S: under the lock, withdraws Installed, runs the procedure, which waits at most
// `timeoutSeconds` for the setup and what it started (a setup still running then is ended
// with what it started: 1460), records the run in the marker and returns the exit code
// (DeploymentExitCode; 1618 while another run holds the lock or a staged setup still
// runs; 1603 for anything unexpected).
unsigned long RunDeploymentInstall(Deployment& deployment, unsigned long timeoutSeconds);

// /UNINSTALL: under the same lock, removes what was installed, then the marker, unless a
// driver-store copy stayed: then the marker stays too, for the tools still see the driver.
// Tells the outcome once through the deployment's window. 0 also when there was nothing to
// remove, otherwise the first failing step's code.
unsigned long RunDeploymentUninstall(Deployment& deployment);
