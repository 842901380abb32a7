// The pre-install procedure: checks the driver package beside the executable and its INF,
// stages it under the Windows directory, starts its setup program (in a job, with a
// temporary folder of its own), waits for the outcome and judges it (SetupOutcome.h). It reaches the window, the
// operating system and the administrator's log only through the interfaces of Operations.h, so that it builds and runs
// anywhere. All strings are UTF-8.
#pragma once

#include "staging/Operations.h"
#include "staging/RunSummary.h"
#include "staging/SetupOutcome.h"

// How a run ended: the system error code of the step that failed before the setup's
// outcome (0 when the setup was started), what became of the setup, the package's INF and
// the staging directory (ending in "\"; empty when the run did not get there).
struct PreInstallOutcome {
    unsigned long error = 0;
    SetupOutcome setup;
    PackageInf inf;
    std::string stagingDirectory;
};

// Runs the procedure once, waiting as `limits` say. Every failure is told through
// `window` (a message box in the window, nothing without one) and every step is recorded
// in `log`; the result line is left to the caller. The success label shows only for the
// verdict's success. With `setupSha256` (64 lower-case hexadecimal digits), the staged
// setup starts only when that is its SHA-256 (kErrorInvalidImageHash when not), and no one
// can change it from the hash until it has started.
PreInstallOutcome RunPreInstall(WindowOps& window, const OperatingSystem& system, SetupWaiting& waiting, StepLog& log,
    const WaitLimits& limits, const std::string& setupSha256 = {});

// The window's pre-install: its outcome and, unless the window closed while it waited, the
// summary its result line told.
struct WindowPreInstallOutcome : PreInstallOutcome {
    std::optional<RunSummary> summary;
};

// RunPreInstall with the window's limits, then the result line, which names `programVersion`.
WindowPreInstallOutcome RunWindowPreInstall(WindowOps& window, const OperatingSystem& system, SetupWaiting& waiting,
    StepLog& log, const std::string& setupSha256 = {}, const std::string& programVersion = {});

// The code a run ends with, in the codes deployment tools understand: 0 success (also for a
// setup's 1707), 3010 or 1641 the setup's request for a restart, 1618 a setup that asks to
// be retried, 1603 a setup that failed otherwise, 0xE0000247 a setup that said success but
// left no copy in the driver store, 1460 a setup that did not end in time, or the error of
// the step that failed (never 0 for a failure).
unsigned long DeploymentExitCode(const PreInstallOutcome& outcome);

// What a run that ended in `exitCode` with `outcome` comes to, but for the time it took.
RunSummary SummaryOf(const PreInstallOutcome& outcome, unsigned long exitCode);

// Records the result line: the summary and, for a failure, the system's text for its code.
void RecordResult(StepLog& log, ErrorTexts& errors, const RunSummary& summary);
