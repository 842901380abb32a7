#include "staging/RunEvents.h"

#include "staging/DriverPackage.h"
#include "staging/Texts.h"

RunEvent EventFor(RunKind kind, unsigned long exitCode)
{
    if (exitCode == kErrorInstallAlreadyRunning)
        return {EventType::Warning, kEventAnotherRunHoldsThePc};
    if (kind == RunKind::Uninstall) {
        if (exitCode == 0)
            return {EventType::Information, kEventUninstalled};
        if (exitCode == kErrorInfInUseByDevices)
            return {EventType::Warning, kEventReaderStillConnected};
        return {EventType::Error, kEventUninstallFailed};
    }
    if (exitCode == 0)
        return {EventType::Information, kEventInstalled};
    if (IsSuccessCode(exitCode))
        return {EventType::Warning, kEventInstalledRestartNeeded};
    return {EventType::Error, kEventInstallFailed};
}

std::vector<std::string> EventStrings(const RunSummary& summary)
{
    const auto orDash = [](const std::string& text) { return text.empty() ? std::string("-") : text; };
    return {std::to_string(summary.exitCode), HexadecimalCode(summary.exitCode),
        summary.setupExitCode ? std::to_string(*summary.setupExitCode) : "-", orDash(summary.storeCopy),
        orDash(summary.driverVer), orDash(summary.programVersion), orDash(summary.logPath)};
}

unsigned long ReportRunEvent(EventLog& events, RunKind kind, const RunSummary& summary)
{
    const RunEvent event = EventFor(kind, summary.exitCode);
    return events.Report(event.type, event.id, EventStrings(summary));
}
