#include "staging/RunEvents.h"

#include "staging/Texts.h"

RunEvent EventFor(RunKind kind, unsigned long exitCode)
{
    const auto eventOf = [kind](const ExitCodeRow& row) {
        return kind == RunKind::Install ? row.installEvent : row.uninstallEvent;
    };
    const ExitCodeRow* row = FindExitCode(kind, exitCode);
    const std::optional<RunEvent> event = row ? eventOf(*row) : std::nullopt;
    return event ? *event : *eventOf(FailedStepRow());
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
