// Starting the package's setup where what it starts can be waited for and ended: in a job
// of this program's own. Portable.
#pragma once

#include "staging/Interfaces.h"

#include <memory>

// Where the setup runs.
enum class JobRoute {
    OwnJob,    // in a new job of this program's own
    BrokeAway, // this program's own job holds no second one: the setup broke away from it into ours
    NoJob,     // neither was possible: the setup runs in no job of ours
};

struct StartedSetup {
    std::unique_ptr<StartedProgram> program;
    JobRoute route = JobRoute::OwnJob;
};

// Starts the setup suspended and puts it in a new job before any of it runs. Before
// Windows 8 a process is in one job at most, so where this program already runs in a job
// (a scheduled task, some deployment agents) that fails: the setup is started once more,
// breaking away from that job, and put in ours; where that job allows no breakaway, the
// first one runs without a job. Logs the route taken; the setup runs when this returns.
Result<StartedSetup> StartSetupInJob(Programs& programs, ErrorTexts& errors, StepLog& log, const ProgramStart& start);
