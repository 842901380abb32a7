// Every text of the procedures and the deployment rules: what the user reads in a box, and
// the lines of the administrator's log. UTF-8; each exists in code page 936 (a test walks
// them all). `error` is always the system's description of an error (DescribeError).
#pragma once

#include "staging/DriverPackage.h"
#include "staging/InstallerActions.h"
#include "staging/Interfaces.h"
#include "staging/RunSummary.h"
#include "staging/StartedSetup.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// ---- the pre-install procedure's boxes
inline constexpr const char* kWarningCaption = "警告";
inline constexpr const char* kWindowsDirectoryFailedMessage = "加载系统目录失败，请重新[预装程序]!";
// Failures while staging; each gets a second line with the system's description.
std::string CreateDirectoryFailedMessage(const std::string& stagingDirectory);
std::string StagingIsLinkMessage(const std::string& stagingDirectory);
std::string ProtectFolderFailedMessage(const std::string& stagingDirectory);
std::string CopyFailedMessage(const PackageFile& file);
std::string LaunchFailedMessage();
// /SETUPSHA256: the staged setup could not be hashed (with the system's description), or
// its hash is not the one given.
std::string SetupUnhashableMessage();
std::string SetupHashMismatchMessage();
// The package's INF: unreadable, without models for this processor ("x86", "amd64", ... as
// INF decorations name it), or with models only for other versions of Windows (what it
// declares, and this Windows).
std::string InfUnreadableMessage();
std::string NoFittingDriverMessage(const std::string& nativeArchitecture);
std::string NoDriverForThisVersionMessage(const std::vector<std::string>& declared, const RunningWindows& windows);
// The setup's outcome, when it is not success. Unreadable INF and failed wait get a second
// line with the system's description, as the staging failures do.
std::string SetupFailedMessage(unsigned long setupExitCode);
std::string NotInDriverStoreMessage();
std::string WaitFailedMessage();
// After success, when the setup asked for a restart; captioned with the window's caption.
std::string RestartNeededMessage();

// ---- the procedure's log lines, one per step
std::string PackageDirectoryLine(const std::string& packageDirectory);
std::string FileCheckedLine(const std::string& path, bool present);
std::string WindowsDirectoryLine(const std::string& windowsDirectory);
std::string StagingDirectoryLine(const std::string& stagingDirectory, bool created);
std::string CopiedLine(const std::string& from, const std::string& to, std::optional<std::uint64_t> size);
std::string CopyFailedLine(const std::string& from, const std::string& to, const std::string& error);
std::string SetupHashLine(const std::string& setup, const std::string& actual, const std::string& expected);
std::string SetupStartedLine(const std::string& commandLine, unsigned long processId);
// The three routes of a setup into a job: its own, broken away from this program's job, none.
std::string SetupInOwnJobLine();
std::string SetupBrokeAwayLine(const std::string& jobError);
std::string SetupWithoutJobLine(const std::string& jobError, const std::string& breakawayError);
std::string SetupExitLine(unsigned long exitCode);
std::string WaitFailedLine(const std::string& error);
std::string SetupTimedOutLine(unsigned long seconds, JobRoute route);
std::string SetupFailedLine(unsigned long setupExitCode);
std::string StoreCopyFoundLine(const std::string& infPath);
std::string WaitingForStartedProcessesLine();
std::string WaitingWithoutJobLine();
// Every minute of a wait: seconds waited, and seconds left (nothing: no limit).
std::string StillWaitingLine(unsigned long waitedSeconds, std::optional<unsigned long> leftSeconds);
enum class NotInStoreReason { StartedProcessesEnded, TimeIsUp, TimeIsUpWithoutJob };
std::string PackageNotInStoreLine(NotInStoreReason reason);
// The staging folder's leftovers: what Windows removes when it restarts, what the next run removes.
// The log at `path` accepted although its file could not be told by its identity: the
// server gives no file index.
std::string LogIdentityUnknownLine(const std::string& path);
std::string RemovedAtRestartLine(const std::string& path);
std::string LeftForTheNextRunLine(const std::string& path);
// A message the procedure told the user, on one line.
std::string MessageLine(const std::string& caption, const std::string& message);
// A code as 0x and eight hexadecimal digits, as deployment tools show it.
std::string HexadecimalCode(unsigned long code);
// The last line of every run: the result, the exit code in decimal and hexadecimal (with
// the system's text `error` for a failure), the setup's code, the store copy, DriverVer,
// the seconds taken and the program's version.
std::string ResultLine(const RunSummary& summary, const std::string& error);
std::string WindowClosedWhileWaitingLine();

// ---- what the package's INF declares
inline constexpr const char* kUndecoratedTarget = "无修饰";
// The running Windows in a few words: "amd64 10.0.19043 工作站 (套件 0x0100)".
std::string WindowsText(const RunningWindows& windows);
std::string ModelTargetsLine(const std::vector<std::string>& declared, const RunningWindows& windows);
// The models section Windows takes here for a [Manufacturer] line naming `section`, and its
// models; or that it takes none.
std::string TakenModelsSectionLine(const std::string& section, const std::string& taken, unsigned long models);
std::string NoModelsSectionTakenLine(const std::string& section);
std::string NoFittingModelsLine(const std::string& nativeArchitecture);
std::string NoModelsForThisVersionLine(const RunningWindows& windows);
std::string InfUnreadableLine(const std::string& infPath, const std::string& error);

// ---- the uninstall: its log lines, and what its box lists
std::string UninstallWindowsDirectoryLine(const std::string& windowsDirectory);
std::string WindowsDirectoryUnreadableLine(const std::string& error);
std::string StagingKeptLine(const std::string& stagingFolder);
std::string NoStagedInfLine(const std::string& stagedInf);
std::string FolderUnlistableLine(const std::string& folder, const std::string& error);
std::string StoreRemovalFailedLine(const std::string& infPath, const std::string& error);
std::string StoreRemovedLine(const std::string& infPath);
// Windows said the copy was removed, but it is still in the driver store.
// A driver package that devices were installed with: one still connected, none present
// (then it goes by force), or Windows cannot tell.
std::string ReaderConnectedMessage();
std::string ReaderConnectedLine(const std::string& infPath, unsigned present);
std::string NoDevicePresentLine(const std::string& infPath, unsigned installed);
std::string DevicesUnknownLine(const std::string& infName, const std::string& error);
// The copy the marker names now holds another package (or none of ours): it stays.
std::string RecordedCopyNotOursLine(const std::string& infPath);
std::string StoreCopyStayedLine(const std::string& infPath, const std::string& error);
// On 64-bit Windows the removal runs in our 64-bit helper: which one, and why it could not.
std::string StoreHelperUsedLine(const std::string& helperPath, const std::string& nativeArchitecture);
std::string StoreHelperUnreadableLine(const std::string& helperPath, const std::string& error);
std::string StoreHelperChangedLine(
    const std::string& helperPath, const std::string& actual, const std::string& expected);
std::string StoreHelperNotRunLine(const std::string& helperPath, const std::string& error);
std::string StoreCopyRemovedItem(const std::string& infName);
std::string NoStoreCopyToRemoveLine();
std::string FileRemovalFailedLine(const std::string& path, const std::string& error);
std::string LinkRemovedLine(const std::string& path);
std::string FolderRemovalFailedLine(const std::string& folder, const std::string& error);
std::string NoStagingFolderLine(const std::string& folder);
std::string StagingPathIsAFileLine(const std::string& folder);
std::string LinkRemovalFailedLine(const std::string& path, const std::string& error);
std::string StagingLinkRemovedLine(const std::string& folder);
std::string StagingLinkRemovedItem(const std::string& folder);
// The staging folder removed with `entries` entries, and `atRestart` files renamed aside
// that Windows removes when it restarts: in the folder when it `stays` (for the next run).
std::string StagingFolderRemovedLine(const std::string& folder, int entries, int atRestart, bool stays);
std::string StagingFolderRemovedItem(const std::string& folder, int entries, int atRestart, bool stays);
std::string NothingToUninstallText();
std::string UninstalledText(const std::vector<std::string>& removed);

// ---- the deployment rules: lock, running setup, detection marker, kept copy, Programs and
// Features, the Application log, the uninstall's continuation
std::string KeptCopyLine(const std::string& path);
std::string KeepingFailedLine(const std::string& path, const std::string& error);
std::string ProgramsEntryWrittenLine();
std::string ProgramsEntryFailedLine(const std::string& error);
std::string ProgramsEntryRemovedLine();
std::string ProgramsEntryRemovedItem();
std::string ProgramsEntryLeftOutLine();
std::string EventSourceRegisteredLine(const std::string& messageFile);
std::string EventSourceFailedLine(const std::string& error);
std::string EventSourceRemovedLine();
std::string EventReportFailedLine(const std::string& error);
std::string ContinuingFromCopyLine(const std::string& copy);
std::string ContinuationFailedLine(const std::string& error);
// The product's name in Programs and Features, with the package's provider.
std::string ProgramsEntryName(const std::string& provider);
std::string AlreadyRunningLine();
std::string SetupStillRunningLine(unsigned long processId, const std::string& path);
std::string LockFailedLine(const std::string& error);
std::string MarkerFailedLine(const std::string& error);
std::string MarkerRemovedLine();
std::string MarkerRemovedItem();
std::string MarkerKeptLine();
std::string UnexpectedErrorLine(const std::string& what);

// ---- the Windows Installer package's actions, lines of Windows Installer's log
// What the program's exit code means after a run of `kind` (ExitCodes.h); `systemText`
// (Windows' description of the code) for a code the program does not name itself.
std::string ExitCodeMeaning(RunKind kind, unsigned long exitCode, const std::string& systemText);
// The program ran to its end: the command, the code with its meaning, and whether the
// action then fails the installation (1603).
std::string ProgramEndedLine(InstallerAction action, const std::string& program, const std::string& parameters,
    unsigned long exitCode, const std::string& systemText, bool succeeded);
std::string ProgramNotStartedLine(InstallerAction action, const std::string& program, const std::string& error);
std::string KeptCopyGoneLine(const std::string& program);
// After InstallFinalize: the program's run ended in a restart code, so Windows Installer is
// asked to restart at the end.
std::string RestartRequestedLine(unsigned long lastExitCode);
