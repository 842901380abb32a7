#include "staging/SetupOutcome.h"

#include "staging/DriverPackage.h"
#include "staging/StoreCopies.h"
#include "staging/Texts.h"

#include <algorithm>

namespace {

// How often the store and the job are looked at again once the setup has ended: neither
// has a handle that tells when the package arrives or the job's last process ends.
constexpr std::uint32_t kLookEveryMilliseconds = 250;
// How often the log says that the run still waits; no wait lasts longer.
constexpr std::uint32_t kReportEveryMilliseconds = 60000;

class SetupWatch {
public:
    SetupWatch(const OperatingSystem& system, SetupWaiting& waiting, StepLog& log, const ExpectedPackage& package,
        StartedSetup& setup, std::uint32_t startedAt, const WaitLimits& limits)
        : system_(system)
        , waiting_(waiting)
        , log_(log)
        , package_(package)
        , setup_(setup)
        , startedAt_(startedAt)
        , lastReport_(startedAt)
        , limits_(limits)
    {
    }

    // Looks once; the outcome when it is decided. `next` is how long to wait before the next look.
    std::optional<SetupOutcome> Look(std::uint32_t& next)
    {
        if (!outcome_.setupExitCode) {
            if (const std::optional<SetupOutcome> ended = LookAtTheSetup())
                return ended;
        }
        const std::uint32_t now = system_.clock.MillisecondsNow();
        const std::optional<std::uint32_t> left = TimeLeft(now);
        const std::uint32_t untilReport = Report(now, left);
        const bool timeIsUp = left && *left == 0;
        if (!outcome_.setupExitCode) {
            if (timeIsUp) {
                setup_.program->End();
                return Decided(Verdict::TimedOut, SetupTimedOutLine(*limits_.totalSeconds, setup_.route));
            }
            next = left ? std::min(*left, untilReport) : untilReport;
            return std::nullopt;
        }
        next = std::min(kLookEveryMilliseconds, untilReport);
        return LookAtTheStore(timeIsUp, next);
    }

private:
    std::optional<SetupOutcome> LookAtTheSetup()
    {
        const Result<unsigned long> code = setup_.program->WaitForExit(0);
        if (!code && code.Error() == kErrorTimeout)
            return std::nullopt;
        if (!code) {
            outcome_.waitError = code.Error();
            return Decided(Verdict::WaitFailed, WaitFailedLine(system_.errors.DescribeError(code.Error())));
        }
        outcome_.setupExitCode = *code;
        endedAt_ = system_.clock.MillisecondsNow();
        log_.Record(SetupExitLine(*code));
        if (Judge(*code, false) == Verdict::SetupFailed)
            return Decided(Verdict::SetupFailed, SetupFailedLine(*code));
        return std::nullopt;
    }

    std::optional<SetupOutcome> LookAtTheStore(bool timeIsUp, std::uint32_t& next)
    {
        const Result<std::vector<std::string>> copies = StoreCopiesOf(system_.files, package_.infFolder, package_.inf);
        const Verdict notInStore = Judge(*outcome_.setupExitCode, false);
        if (!copies)
            return Decided(
                notInStore, FolderUnlistableLine(package_.infFolder, system_.errors.DescribeError(copies.Error())));
        if (!copies->empty()) {
            outcome_.storeCopy = copies->front();
            return Decided(
                Judge(*outcome_.setupExitCode, true), StoreCopyFoundLine(package_.infFolder + outcome_.storeCopy));
        }
        const std::optional<bool> stillRun = setup_.program->JobStillRuns();
        if (stillRun == false)
            return Decided(notInStore, PackageNotInStoreLine(NotInStoreReason::StartedProcessesEnded));
        if (timeIsUp)
            return Decided(notInStore,
                PackageNotInStoreLine(stillRun ? NotInStoreReason::TimeIsUp : NotInStoreReason::TimeIsUpWithoutJob));
        if (!waitingAfterTheSetup_) {
            log_.Record(stillRun ? WaitingForStartedProcessesLine() : WaitingWithoutJobLine());
            waitingAfterTheSetup_ = true;
            // Only now is the package awaited: from here on a change in the store ends a
            // wait. Look once more at once, for it may have arrived since this look.
            waiting_.WatchFolder(package_.infFolder);
            next = 0;
        }
        return std::nullopt;
    }

    // Milliseconds until the limit that applies now; nothing without one.
    std::optional<std::uint32_t> TimeLeft(std::uint32_t now) const
    {
        std::optional<std::uint32_t> left;
        const auto bound = [&](std::optional<unsigned long> seconds, std::uint32_t from) {
            if (!seconds)
                return;
            const std::uint32_t limit = static_cast<std::uint32_t>(*seconds * 1000);
            const std::uint32_t rest = now - from >= limit ? 0 : limit - (now - from);
            left = left ? std::min(*left, rest) : rest;
        };
        bound(limits_.totalSeconds, startedAt_);
        if (outcome_.setupExitCode)
            bound(limits_.afterSetupSeconds, endedAt_);
        return left;
    }

    // Every minute of the wait, a line with the time waited and the time left; the
    // milliseconds until the next one.
    std::uint32_t Report(std::uint32_t now, std::optional<std::uint32_t> left)
    {
        if (now - lastReport_ >= kReportEveryMilliseconds) {
            lastReport_ = now;
            log_.Record(StillWaitingLine(
                (now - startedAt_) / 1000, left ? std::optional<unsigned long>((*left + 999) / 1000) : std::nullopt));
        }
        return kReportEveryMilliseconds - (now - lastReport_);
    }

    SetupOutcome Decided(Verdict verdict, const std::string& line)
    {
        log_.Record(line);
        outcome_.verdict = verdict;
        return outcome_;
    }

    const OperatingSystem& system_;
    SetupWaiting& waiting_;
    StepLog& log_;
    const ExpectedPackage& package_;
    StartedSetup& setup_;
    std::uint32_t startedAt_;
    std::uint32_t lastReport_;
    WaitLimits limits_;
    std::uint32_t endedAt_ = 0;
    bool waitingAfterTheSetup_ = false;
    SetupOutcome outcome_;
};

} // namespace

bool IsSetupSuccessCode(unsigned long code)
{
    return IsSuccessCode(code) || code == kInstallSucceeded;
}

Verdict Judge(unsigned long setupExitCode, bool packageInDriverStore)
{
    if (!IsSetupSuccessCode(setupExitCode))
        return Verdict::SetupFailed;
    return packageInDriverStore ? Verdict::Succeeded : Verdict::NotInDriverStore;
}

SetupOutcome WaitForSetupOutcome(const OperatingSystem& system, SetupWaiting& waiting, StepLog& log,
    const ExpectedPackage& package, StartedSetup& setup, std::uint32_t startedAt, const WaitLimits& limits)
{
    SetupWatch watch(system, waiting, log, package, setup, startedAt, limits);
    for (;;) {
        std::uint32_t next = kLookEveryMilliseconds;
        if (const std::optional<SetupOutcome> outcome = watch.Look(next))
            return *outcome;
        if (!waiting.Wait(*setup.program, next)) {
            SetupOutcome abandoned;
            abandoned.verdict = Verdict::Abandoned;
            return abandoned;
        }
    }
}
