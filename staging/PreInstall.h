// The pre-install procedure: checks the driver package beside the executable, stages it
// under the Windows directory and starts its setup program. It reaches the window, the
// operating system and the administrator's log only through the interfaces of
// Operations.h, so that it builds and runs anywhere. All strings are UTF-8.
#pragma once

#include "staging/Operations.h"

#include <optional>

// How a run ended: the system error code of the step that failed (0 when the package was
// staged and its setup started), and the setup's own exit code once it has been waited for.
struct PreInstallOutcome {
    unsigned long error = 0;
    std::optional<unsigned long> setupExitCode;
};

// Checks and stages the package, then starts its setup without waiting for it. Every
// failure is told through `window` (a message box in the window, nothing without one) and
// every step is recorded in `log`; the result is left to the caller.
PreInstallOutcome StartPreInstall(WindowOps& window, SystemOps& system, StepLog& log);

// The window's pre-install: StartPreInstall, then the result in the log.
PreInstallOutcome RunPreInstall(WindowOps& window, SystemOps& system, StepLog& log);

// Records the result line: the code and, for a failure, the system's text for it.
void RecordResult(StepLog& log, SystemOps& system, unsigned long code);
