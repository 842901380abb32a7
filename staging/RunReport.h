// How a run of the program ends, told in one place: its summary becomes the log's result
// line (the last line of the run) and, where the run reports one, its event in the
// Application log. Portable.
#pragma once

#include "staging/Interfaces.h"
#include "staging/RunEvents.h"
#include "staging/RunSummary.h"

#include <cstdint>
#include <optional>
#include <string>

class RunReport {
public:
    // A report of runs of `kind` by this program's `programVersion`, logged to `log`
    // (whose file is `logPath`; empty without /LOG), with the system's texts for codes;
    // `events` gets the event, nothing when the run reports none.
    RunReport(RunKind kind, StepLog& log, ErrorTexts& errors, Clock& clock, EventLog* events,
        std::string programVersion, std::string logPath);

    // A run starts: the time it takes counts from now.
    void Start();
    // The run ended in `summary` (its time, version and log path are filled in here): its
    // event, then its result line.
    void End(RunSummary summary);
    // The window's runs are its presses, each ending with a result line; the program's one
    // event tells the last, once the window has closed.
    void EndWithoutEvent(RunSummary summary);
    void ReportLastEvent();

    StepLog& Log() { return log_; }
    const std::string& ProgramVersion() const { return programVersion_; }
    const std::optional<RunSummary>& Last() const { return last_; }

private:
    RunSummary Completed(RunSummary summary) const;
    void ReportEvent(const RunSummary& summary);
    void RecordResult(const RunSummary& summary);

    RunKind kind_;
    StepLog& log_;
    ErrorTexts& errors_;
    Clock& clock_;
    EventLog* events_;
    std::string programVersion_;
    std::string logPath_;
    std::uint32_t startedAt_;
    std::optional<RunSummary> last_;
};
