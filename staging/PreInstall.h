// The pre-install procedure: checks the driver package beside the executable and its INF,
// stages it under the Windows directory, starts its setup program (in a job, with a
// temporary folder of its own), waits for the outcome and judges it (SetupOutcome.h). It reaches the window, the
// operating system and the administrator's log only through the interfaces of Interfaces.h, so that it builds and runs
// anywhere. All strings are UTF-8.
#pragma once

#include "staging/Interfaces.h"
#include "staging/Places.h"
#include "staging/RunReport.h"
#include "staging/SetupOutcome.h"

// How a run ended: the system error code of the step that failed before the setup's
// outcome (0 when the setup was started), what became of the setup and the package's INF.
struct PreInstallOutcome {
    unsigned long error = 0;
    SetupOutcome setup;
    PackageInf inf;
};

// What a pre-install is asked to do.
struct PreInstallRequest {
    std::string programPath; // this program: the package lies beside it
    // With it (64 lower-case hexadecimal digits), the staged setup starts only when that is
    // its SHA-256 (kErrorInvalidImageHash when not), and no one can change it from the hash
    // until it has started.
    std::string setupSha256 = {};
};

// Runs the procedure once, staging in `places`, waiting as `limits` say. Every failure is
// told through `window` (a message box in the window, nothing without one) and every step
// is recorded in `log`; the result line is left to the caller. The success label shows
// only for the verdict's success.
PreInstallOutcome RunPreInstall(WindowOps& window, const OperatingSystem& system, SetupWaiting& waiting, StepLog& log,
    const Places& places, const PreInstallRequest& request, const WaitLimits& limits);

// One press of the window's button: the places from one read of the Windows directory,
// the procedure with the window's limits, logged to the report's log; unless the window
// closed while it waited, the run's end goes to `report`.
PreInstallOutcome RunWindowPreInstall(WindowOps& window, const OperatingSystem& system, SetupWaiting& waiting,
    RunReport& report, const PreInstallRequest& request);

// The code a run ends with, in the codes deployment tools understand: 0 success (also for a
// setup's 1707), 3010 or 1641 the setup's request for a restart, 1618 a setup that asks to
// be retried, 1603 a setup that failed otherwise, 0xE0000247 a setup that said success but
// left no copy in the driver store, 1460 a setup that did not end in time, or the error of
// the step that failed (never 0 for a failure).
unsigned long DeploymentExitCode(const PreInstallOutcome& outcome);

// What a run that ended in `exitCode` with `outcome` comes to, but for the time it took.
RunSummary SummaryOf(const PreInstallOutcome& outcome, unsigned long exitCode);
