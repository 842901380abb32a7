#include "staging/InstallerActions.h"

#include "staging/Deployment.h"
#include "staging/DriverPackage.h"
#include "staging/Paths.h"
#include "staging/Places.h"
#include "staging/Texts.h"

namespace {

constexpr const char* kInstallSwitches = "/S /NOARP";
constexpr const char* kUninstallSwitches = "/UNINSTALL /S /NOARP";

ProgramCommand ProgramIn(const std::string& folder, const std::string& parameters)
{
    return {folder + kKeptProgramName, parameters, folder};
}

// The kept copy runs in the Windows folder: a working directory that is gone would fail
// the start with another error than the missing program's.
ProgramCommand KeptCopyIn(const std::string& windowsFolder)
{
    return {PlacesIn(windowsFolder).keptCopy, kUninstallSwitches, windowsFolder};
}

bool IsMissingFile(unsigned long error)
{
    constexpr unsigned long kErrorPathNotFound = 3;
    return error == kErrorFileNotFound || error == kErrorPathNotFound;
}

} // namespace

ProgramCommand CommandFor(InstallerAction action, const std::string& customActionData)
{
    if (action == InstallerAction::Uninstall)
        return KeptCopyIn(EnsureTrailingBackslash(customActionData));
    const std::size_t separator = customActionData.find(kActionDataSeparator);
    const std::string folder = ExtractFilePath(customActionData.substr(0, separator));
    if (action == InstallerAction::Rollback)
        return ProgramIn(folder, kUninstallSwitches);
    const std::string switches = separator == std::string::npos ? "" : customActionData.substr(separator + 1);
    const std::size_t first = switches.find_first_not_of(' ');
    return ProgramIn(folder,
        first == std::string::npos ? std::string(kInstallSwitches) : kInstallSwitches + (" " + switches.substr(first)));
}

ActionOutcome OutcomeOfRun(
    InstallerAction action, const ProgramCommand& command, unsigned long exitCode, const std::string& systemText)
{
    const bool succeeded = action == InstallerAction::Rollback || IsSuccessCode(exitCode);
    return {succeeded ? 0 : kErrorInstallFailure,
        ProgramEndedLine(action, command.program, command.parameters, exitCode, systemText, succeeded)};
}

ActionOutcome OutcomeOfStartFailure(
    InstallerAction action, const ProgramCommand& command, unsigned long error, const std::string& systemText)
{
    if (action == InstallerAction::Uninstall && IsMissingFile(error))
        return {0, KeptCopyGoneLine(command.program)};
    const bool succeeded = action == InstallerAction::Rollback;
    return {succeeded ? 0 : kErrorInstallFailure, ProgramNotStartedLine(action, command.program, systemText)};
}

bool AsksForRestart(unsigned long lastExitCode)
{
    return MeansRestart(lastExitCode);
}
