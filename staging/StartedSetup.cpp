#include "staging/StartedSetup.h"

#include "staging/Texts.h"

namespace {

// The setup started again outside this program's job and put in a new one; nothing with
// the reason when Windows refuses either.
Result<std::unique_ptr<StartedProgram>> BrokenAwayIntoOwnJob(Programs& programs, const ProgramStart& start)
{
    Result<std::unique_ptr<StartedProgram>> started = programs.StartSuspended(start, true);
    if (!started)
        return started;
    if (const unsigned long error = (*started)->PutInNewJob()) {
        (*started)->End();
        return Failed{error};
    }
    return started;
}

} // namespace

Result<StartedSetup> StartSetupInJob(Programs& programs, ErrorTexts& errors, StepLog& log, const ProgramStart& start)
{
    Result<std::unique_ptr<StartedProgram>> started = programs.StartSuspended(start, false);
    if (!started)
        return Failed{started.Error()};
    StartedSetup setup{std::move(*started), JobRoute::OwnJob};
    if (const unsigned long jobError = setup.program->PutInNewJob()) {
        Result<std::unique_ptr<StartedProgram>> brokeAway = BrokenAwayIntoOwnJob(programs, start);
        if (brokeAway) {
            setup.program->End(); // suspended: none of it ran
            setup = {std::move(*brokeAway), JobRoute::BrokeAway};
            log.Record(SetupBrokeAwayLine(errors.DescribeError(jobError)));
        } else {
            setup.route = JobRoute::NoJob;
            log.Record(SetupWithoutJobLine(errors.DescribeError(jobError), errors.DescribeError(brokeAway.Error())));
        }
    } else {
        log.Record(SetupInOwnJobLine());
    }
    setup.program->Resume();
    return setup;
}
