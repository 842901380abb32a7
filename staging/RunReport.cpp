#include "staging/RunReport.h"

#include "staging/DriverPackage.h"
#include "staging/Texts.h"

RunReport::RunReport(RunKind kind, StepLog& log, ErrorTexts& errors, Clock& clock, EventLog* events,
    std::string programVersion, std::string logPath)
    : kind_(kind)
    , log_(log)
    , errors_(errors)
    , clock_(clock)
    , events_(events)
    , programVersion_(std::move(programVersion))
    , logPath_(std::move(logPath))
    , startedAt_(clock.MillisecondsNow())
{
}

void RunReport::Start()
{
    startedAt_ = clock_.MillisecondsNow();
}

void RunReport::End(RunSummary summary)
{
    last_ = Completed(std::move(summary));
    ReportEvent(*last_);
    RecordResult(*last_);
}

void RunReport::EndWithoutEvent(RunSummary summary)
{
    last_ = Completed(std::move(summary));
    RecordResult(*last_);
}

void RunReport::ReportLastEvent()
{
    if (last_)
        ReportEvent(*last_);
}

RunSummary RunReport::Completed(RunSummary summary) const
{
    summary.seconds = (clock_.MillisecondsNow() - startedAt_) / 1000;
    summary.programVersion = programVersion_;
    summary.logPath = logPath_;
    return summary;
}

// A failure to report is logged and changes nothing else.
void RunReport::ReportEvent(const RunSummary& summary)
{
    if (events_ == nullptr)
        return;
    if (const unsigned long error = ReportRunEvent(*events_, kind_, summary))
        log_.Record(EventReportFailedLine(errors_.DescribeError(error)));
}

// The summary and, for a failure, the system's text for its code.
void RunReport::RecordResult(const RunSummary& summary)
{
    const unsigned long code = summary.exitCode;
    log_.Record(ResultLine(summary, IsSuccessCode(code) ? std::string() : errors_.DescribeError(code)));
}
