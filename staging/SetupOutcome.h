// What became of a started setup, and the one verdict on a pre-install: the window's
// "预装成功!", the exit code and the detection marker all come from it. Portable.
#pragma once

#include "staging/Interfaces.h"
#include "staging/StartedSetup.h"

#include <cstdint>
#include <optional>
#include <string>

enum class Verdict {
    Succeeded,        // the setup ended by itself with a success code, and the package is in the driver store
    SetupFailed,      // the setup ended with another code
    NotInDriverStore, // the setup said success, but no copy of the package's INF is in the driver store
    TimedOut,         // the setup still ran when the time was up, and was ended with what it started
    WaitFailed,       // the setup could not be waited for
    Abandoned,        // the window closed while the run waited
};

struct SetupOutcome {
    Verdict verdict = Verdict::WaitFailed;
    std::optional<unsigned long> setupExitCode; // when it ended by itself
    std::string storeCopy;                      // Succeeded: the copy's name in the inf folder
    unsigned long waitError = 0;                // WaitFailed: the system's error
};

// A setup's codes for success: 0, Windows Installer's 1707, and 3010 and 1641 (a restart
// is needed, or has begun).
bool IsSetupSuccessCode(unsigned long code);

// The verdict once the setup has ended by itself. (A package whose INF has no models for
// the running Windows is refused before anything is staged, so every verdict has that.)
Verdict Judge(unsigned long setupExitCode, bool packageInDriverStore);

// How long a run waits. The setup itself: at most `totalSeconds` from its start (then it
// and what it started are ended), or for as long as it runs. Processes it started, once it
// has ended with a success code but the package is not in the store yet: until they end,
// the package arrives, `totalSeconds` from the start or `afterSetupSeconds` after the
// setup ended, whichever comes first; they are never ended. A setup in no job is waited
// for in the same way, but what it started cannot be seen: only the limits end that wait.
struct WaitLimits {
    std::optional<unsigned long> totalSeconds;
    std::optional<unsigned long> afterSetupSeconds;
};

// The window waits this long after the setup ended for what it started.
inline constexpr unsigned long kWindowAfterSetupSeconds = 120;

// The package a setup must bring into the driver store: its INF's bytes, looked for in
// `infFolder` (ending in "\").
struct ExpectedPackage {
    std::string infFolder;
    std::string inf;
};

// Waits for the setup started at `startedAt` (MillisecondsNow) and judges it. Every step is
// logged, and every minute of the wait with the time waited and the time left.
SetupOutcome WaitForSetupOutcome(const OperatingSystem& system, SetupWaiting& waiting, StepLog& log,
    const ExpectedPackage& package, StartedSetup& setup, std::uint32_t startedAt, const WaitLimits& limits);
