#include "staging/SetupOutcome.h"

#include "staging/DriverPackage.h"
#include "staging/StoreCopies.h"
#include "staging/Texts.h"

#include <algorithm>

namespace {

// How often the job is looked at again while only what the setup started still runs: a
// job has no handle that tells when its last process ends.
constexpr std::uint32_t kLookEveryMilliseconds = 250;
// How long one wait lasts while the setup runs without a time limit.
constexpr std::uint32_t kLongestWaitMilliseconds = 60000;

std::optional<std::uint32_t> Milliseconds(std::optional<unsigned long> seconds)
{
    return seconds ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*seconds * 1000)) : std::nullopt;
}

class SetupWatch {
public:
    SetupWatch(SystemOps& system, StepLog& log, const std::string& infFolder, const std::string& packageInf,
        std::uint32_t startedAt, const WaitLimits& limits)
        : system_(system)
        , log_(log)
        , infFolder_(infFolder)
        , packageInf_(packageInf)
        , startedAt_(startedAt)
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
        const std::uint32_t now = system_.MillisecondsNow();
        const std::optional<std::uint32_t> total = Milliseconds(limits_.totalSeconds);
        const bool totalIsUp = total && now - startedAt_ >= *total;
        if (!outcome_.setupExitCode) {
            if (totalIsUp)
                return Decided(
                    Verdict::TimedOut, SetupTimedOutLine(*limits_.totalSeconds, system_.EndStartedProgram()));
            next = total ? *total - (now - startedAt_) : kLongestWaitMilliseconds;
            return std::nullopt;
        }
        next = kLookEveryMilliseconds;
        return LookAtTheStore(now, totalIsUp);
    }

private:
    std::optional<SetupOutcome> LookAtTheSetup()
    {
        unsigned long code = 0;
        const unsigned long error = system_.WaitForStartedProgram(0, code);
        if (error == kErrorTimeout)
            return std::nullopt;
        if (error != 0) {
            outcome_.waitError = error;
            return Decided(Verdict::WaitFailed, WaitFailedLine(system_.DescribeError(error)));
        }
        outcome_.setupExitCode = code;
        endedAt_ = system_.MillisecondsNow();
        log_.Record(SetupExitLine(code));
        if (Judge(code, false) == Verdict::SetupFailed)
            return Decided(Verdict::SetupFailed, SetupFailedLine(code));
        return std::nullopt;
    }

    std::optional<SetupOutcome> LookAtTheStore(std::uint32_t now, bool totalIsUp)
    {
        unsigned long error = 0;
        const auto copies = StoreCopiesOf(system_, infFolder_, packageInf_, error);
        if (!copies)
            return Decided(
                Judge(*outcome_.setupExitCode, false), FolderUnlistableLine(infFolder_, system_.DescribeError(error)));
        if (!copies->empty()) {
            outcome_.storeCopy = copies->front();
            return Decided(Judge(*outcome_.setupExitCode, true), StoreCopyFoundLine(infFolder_ + outcome_.storeCopy));
        }
        const std::optional<bool> stillRun = system_.StartedProgramsStillRun();
        const std::optional<std::uint32_t> afterSetup = Milliseconds(limits_.afterSetupSeconds);
        const bool timeIsUp = totalIsUp || (afterSetup && now - endedAt_ >= *afterSetup);
        const Verdict notInStore = Judge(*outcome_.setupExitCode, false);
        if (!stillRun)
            return Decided(notInStore, PackageNotInStoreLine(NotInStoreReason::NoJob));
        if (!*stillRun)
            return Decided(notInStore, PackageNotInStoreLine(NotInStoreReason::StartedProcessesEnded));
        if (timeIsUp)
            return Decided(notInStore, PackageNotInStoreLine(NotInStoreReason::TimeIsUp));
        if (!waitingForStartedProcesses_) {
            log_.Record(WaitingForStartedProcessesLine());
            waitingForStartedProcesses_ = true;
        }
        return std::nullopt;
    }

    SetupOutcome Decided(Verdict verdict, const std::string& line)
    {
        log_.Record(line);
        outcome_.verdict = verdict;
        return outcome_;
    }

    SystemOps& system_;
    StepLog& log_;
    const std::string& infFolder_;
    const std::string& packageInf_;
    std::uint32_t startedAt_;
    WaitLimits limits_;
    std::uint32_t endedAt_ = 0;
    bool waitingForStartedProcesses_ = false;
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

SetupOutcome WaitForSetupOutcome(SystemOps& system, SetupWaiting& waiting, StepLog& log, const std::string& infFolder,
    const std::string& packageInf, std::uint32_t startedAt, const WaitLimits& limits)
{
    waiting.WatchFolder(infFolder);
    SetupWatch watch(system, log, infFolder, packageInf, startedAt, limits);
    for (;;) {
        std::uint32_t next = kLookEveryMilliseconds;
        if (const std::optional<SetupOutcome> outcome = watch.Look(next))
            return *outcome;
        if (!waiting.Wait(next)) {
            SetupOutcome abandoned;
            abandoned.verdict = Verdict::Abandoned;
            return abandoned;
        }
    }
}
