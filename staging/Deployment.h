// The rules of the runs that deployment tools start (/S, /UNINSTALL), around the
// procedures and never inside them: one run per PC at a time, no run while a staged setup
// still runs, a bounded wait for the setup, the exit code, the detection marker that tells
// the tools what is installed, and what administrators expect of an installer: a kept
// copy of the program, a Programs and Features entry whose uninstall works from it, and one
// event per run in the Application log. Portable: Windows is reached only through the small
// interfaces below and those of Operations.h. All strings are UTF-8.
#pragma once

#include "staging/PreInstall.h"
#include "staging/RunEvents.h"
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

// The named values of one registry key of the machine's (the detection marker, the Programs
// and Features entry, the event source's registration). Each call returns 0 or the
// system's error; removing what is not there is no failure.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    virtual unsigned long SetNumber(const std::string& name, unsigned long value) = 0;
    virtual unsigned long SetText(const std::string& name, const std::string& value) = 0;
    // A text with environment variables, expanded by whoever reads it (REG_EXPAND_SZ).
    virtual unsigned long SetExpandableText(const std::string& name, const std::string& value) = 0;
    virtual unsigned long RemoveValue(const std::string& name) = 0;
    // A text value; nothing when the key or the value is not there.
    virtual std::optional<std::string> ReadText(const std::string& name) = 0;
    // Removes the whole key: true when there was one.
    virtual Result<bool> RemoveAll() = 0;
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

// The Programs and Features entry, written after a success before Installed (the key:
// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\IcCardReaderUsbPreInstall):
inline constexpr const char* kEntryDisplayName = "DisplayName";         // the product and the package's provider
inline constexpr const char* kEntryDisplayVersion = "DisplayVersion";   // DriverVer's version
inline constexpr const char* kEntryPublisher = "Publisher";             // the package's Provider
inline constexpr const char* kEntryInstallLocation = "InstallLocation"; // the staging folder
inline constexpr const char* kEntryDisplayIcon = "DisplayIcon";         // the kept copy
inline constexpr const char* kEntryInstallDate = "InstallDate";         // yyyymmdd
inline constexpr const char* kEntryEstimatedSize = "EstimatedSize";     // KB in the staging folder
inline constexpr const char* kEntryNoModify = "NoModify";
inline constexpr const char* kEntryNoRepair = "NoRepair";
inline constexpr const char* kEntryUninstallString = "UninstallString";           // the kept copy, /UNINSTALL
inline constexpr const char* kEntryQuietUninstallString = "QuietUninstallString"; // the same with /S

// The event source's registration, whose messages are the kept copy's message table (the
// key: HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\IcCardReaderUsbPreInstall).
inline constexpr const char* kSourceEventMessageFile = "EventMessageFile";
inline constexpr const char* kSourceTypesSupported = "TypesSupported";
inline constexpr unsigned long kAllEventTypes = 7; // error, warning, information

// The lock file, in the Windows directory: only administrators can create files there.
inline constexpr const char* kLockFileName = "IcCardReaderUsbPreInstall.lock";

// The temporary folder (in the Windows directory) that an uninstall started from the kept
// program continues from, for a running program cannot remove itself.
inline constexpr const char* kContinuationFolderPrefix = "~tovra_uninstall.";

// What a deployment leaves for the administrators' tools.
struct DeploymentRecords {
    RegistryKey& marker;
    RegistryKey& programsEntry; // Programs and Features
    RegistryKey& eventSource;   // the Application log's registration of the program's source
    EventLog& events;
};

// Everything a deployment run works with. `window` tells the outcome: nothing when
// unattended, one box for /UNINSTALL without /S.
struct Deployment {
    WindowOps& window;
    OperatingSystem system;
    SetupWaiting& waiting;
    StepLog& log;
    RunLock& lock;
    RunningSetupCheck& runningSetup;
    DeploymentRecords records;
    std::string programVersion;
    std::string setupSha256 = {};                      // /SETUPSHA256, lower case; empty when not given
    std::optional<NativeStoreHelper> storeHelper = {}; // the 32-bit build's
    bool programsEntry = true;                         // false with /NOARP
    std::string logPath = {};                          // /LOG, for the event; empty without
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
