// The custom actions of the Windows Installer package, a DLL in its Binary table. The
// deferred install, its rollback and the uninstall each start the program as their custom
// action data says, wait for it and return what its exit code means to Windows Installer;
// a deferred action may not ask for a restart, so an immediate action after
// InstallFinalize does, when the run's marker says it needs one. Every msi.dll function
// called here is Windows Installer 1.0's; nothing may throw past these functions.
#include "staging/InstallerActions.h"
#include "staging/Deployment.h"
#include "staging/Texts.h"
#include "win32/Errors.h"
#include "win32/MachineKeys.h"
#include "win32/Processes.h"
#include "win32/Text.h"

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

namespace {

std::string Property(MSIHANDLE install, const wchar_t* name)
{
    wchar_t none[1] = L"";
    DWORD length = 0;
    if (MsiGetPropertyW(install, name, none, &length) != ERROR_MORE_DATA)
        return "";
    std::wstring value(++length, L'\0');
    if (MsiGetPropertyW(install, name, value.data(), &length) != ERROR_SUCCESS)
        return "";
    value.resize(length);
    return Narrow(value);
}

// One line in Windows Installer's log; the text is a field of its own, so brackets in a
// path are not taken for properties.
void Log(MSIHANDLE install, const std::string& line)
{
    PMSIHANDLE record = MsiCreateRecord(1);
    MsiRecordSetStringW(record, 0, L"[1]");
    MsiRecordSetStringW(record, 1, Widen(line).c_str());
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

ActionOutcome RunProgram(InstallerAction action, const ProgramCommand& command)
{
    PROCESS_INFORMATION process{};
    if (const unsigned long error =
            StartHiddenProgram(command.program, command.parameters, command.workingDirectory, 0, nullptr, process))
        return OutcomeOfStartFailure(action, command, error, DescribeError(error));
    Win32StartedProgram program(process);
    const Result<unsigned long> exitCode = program.WaitForExit(kWaitForever);
    if (!exitCode)
        return OutcomeOfStartFailure(action, command, exitCode.Error(), DescribeError(exitCode.Error()));
    return OutcomeOfRun(action, command, *exitCode, DescribeError(*exitCode));
}

UINT Run(MSIHANDLE install, InstallerAction action)
{
    try {
        const ActionOutcome outcome = RunProgram(action, CommandFor(action, Property(install, L"CustomActionData")));
        Log(install, outcome.logLine);
        return outcome.result;
    } catch (const std::exception& error) {
        Log(install, UnexpectedErrorLine(error.what()));
    } catch (...) {
        Log(install, UnexpectedErrorLine(""));
    }
    return action == InstallerAction::Rollback ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

} // namespace

extern "C" {

__declspec(dllexport) UINT __stdcall InstallDriver(MSIHANDLE install)
{
    return Run(install, InstallerAction::Install);
}

__declspec(dllexport) UINT __stdcall RollbackDriver(MSIHANDLE install)
{
    return Run(install, InstallerAction::Rollback);
}

__declspec(dllexport) UINT __stdcall UninstallDriver(MSIHANDLE install)
{
    return Run(install, InstallerAction::Uninstall);
}

// Immediate, after InstallFinalize: the restart the install's run asked for (the marker's
// LastExitCode is that run's) becomes Windows Installer's own, which it reports as 3010.
__declspec(dllexport) UINT __stdcall RequestRestart(MSIHANDLE install)
{
    try {
        const std::optional<unsigned long> lastExitCode = MachineKey(kMarkerKey).ReadNumber(kMarkerLastExitCode);
        if (lastExitCode && AsksForRestart(*lastExitCode)) {
            MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
            Log(install, RestartRequestedLine(*lastExitCode));
        }
    } catch (...) {
        Log(install, UnexpectedErrorLine(""));
    }
    return ERROR_SUCCESS;
}
}
