// One event per run in the Application log, for the administrators who collect those: its
// type and id by what the run was and how it ended, its insertion strings from the run's
// summary. The texts are the program's message table (resources/messages.mc). Portable.
#pragma once

#include "staging/ExitCodes.h"
#include "staging/RunSummary.h"

#include <string>
#include <vector>

// The Application log, under the program's event source (registered or not).
class EventLog {
public:
    virtual ~EventLog() = default;
    // Reports one event; 0 or the error.
    [[nodiscard]] virtual unsigned long Report(
        EventType type, unsigned long id, const std::vector<std::string>& strings) = 0;
};

// The event that tells how a run of `kind` ended in `exitCode`.
RunEvent EventFor(RunKind kind, unsigned long exitCode);

// The insertion strings, in the order the messages use them (%1 to %7): the exit code in
// decimal and in hexadecimal, the setup's code, the driver store's copy, DriverVer, the
// program's version and the log's path; "-" for what the run does not have.
std::vector<std::string> EventStrings(const RunSummary& summary);

// Reports the run's event: 0 or the error, for the log; a failure changes nothing else.
[[nodiscard]] unsigned long ReportRunEvent(EventLog& events, RunKind kind, const RunSummary& summary);
