// The custom actions of the Windows Installer package (resources/preinstall.wxs), which is
// a launcher: each action runs this program with a command line made from its custom
// action data, and turns how the program ended into Windows Installer's result and a line
// for Windows Installer's log. Portable; the msi.dll wiring is shell/InstallerActions.cpp.
#pragma once

#include <string>

enum class InstallerAction {
    Install,   // deferred: the program beside the package, /S /NOARP and the administrator's switches
    Rollback,  // of a failed install: the same program's /UNINSTALL
    Uninstall, // the product removed: the kept copy's /UNINSTALL
};

// A program started by full path.
struct ProgramCommand {
    std::string program;
    std::string parameters;
    std::string workingDirectory;
};

// The separator of the install's custom action data "DATABASE|SWITCHES": no path holds it.
inline constexpr char kActionDataSeparator = '|';

// The command for `action` from its custom action data: for Install and Rollback the
// package's path (OriginalDatabase), for Install followed by the separator and the
// administrator's switches (PREINSTALL_ARGS); for Uninstall the Windows folder.
ProgramCommand CommandFor(InstallerAction action, const std::string& customActionData);

// What a custom action returns (ERROR_SUCCESS or ERROR_INSTALL_FAILURE) and the line that
// tells Windows Installer's log why.
struct ActionOutcome {
    unsigned long result;
    std::string logLine;
};

// The program ran and ended in `exitCode`: 0, 3010 and 1641 are success (the restart is
// asked for after InstallFinalize, see AsksForRestart), anything else fails the action;
// a rollback never fails. `systemText` is Windows' description of the code, for codes
// the program does not name itself.
ActionOutcome OutcomeOfRun(
    InstallerAction action, const ProgramCommand& command, unsigned long exitCode, const std::string& systemText);

// The program could not be started (`error`, described by `systemText`): a failure, except
// for a rollback, and for an uninstall whose kept copy is already gone (nothing is left
// to remove, and the product must stay removable).
ActionOutcome OutcomeOfStartFailure(
    InstallerAction action, const ProgramCommand& command, unsigned long error, const std::string& systemText);

// Whether the program's last run, by the detection marker's LastExitCode, needs a restart
// that Windows Installer is to ask for.
bool AsksForRestart(unsigned long lastExitCode);
