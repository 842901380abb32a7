// The setup in a job of the program's own, or honestly in none: on Windows 7 and older a
// process is in one job at most, so a program that already runs in one (a scheduled task,
// a deployment agent) cannot put its setup in a second. Against the fake system, which
// behaves so.
#include "staging/PreInstall.h"
#include "staging/StartedSetup.h"
#include "tests/unit/FakeSystem.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class SetupJobTest : public FakeRunTest {
protected:
    const ProgramStart start{"C:\\WINDOWS\\tovra_driver\\TOVRA_SETUP.EXE", "/S", "C:\\WINDOWS\\tovra_driver\\"};

    // This program already runs in a job on Windows 7.
    void InAJobOnWindows7(bool allowsBreakaway)
    {
        system.inOuterJob = true;
        system.nestedJobs = false;
        system.outerJobAllowsBreakaway = allowsBreakaway;
    }
    // A bootstrapper: it ends at once, and its child adds the package 3 s later.
    void Bootstrapper()
    {
        system.setupRunsMs = 100;
        system.storeCopyAtMs = 3100;
        system.startedProgramsRunMs = 3100;
    }
    long Journalled(const std::string& entry) const { return std::count(journal.begin(), journal.end(), entry); }
};

TEST_F(SetupJobTest, EachWindowsGetsTheRouteItAllows)
{
    struct Case {
        const char* name;
        bool inOuterJob;
        bool nestedJobs;
        bool allowsBreakaway;
        JobRoute route;
        const char* logged;
    };
    const Case cases[] = {
        {"in no job", false, false, false, JobRoute::OwnJob, "安装程序在本程序的作业对象中运行"},
        {"Windows 8 and later: jobs nest", true, true, false, JobRoute::OwnJob, "安装程序在本程序的作业对象中运行"},
        {"Windows 7, breakaway allowed", true, false, true, JobRoute::BrokeAway,
            "本程序所在的作业对象不允许再放入另一个作业（error 5）：安装程序已用 CREATE_BREAKAWAY_FROM_JOB 脱离它"},
        {"Windows 7, no breakaway", true, false, false, JobRoute::NoJob,
            "无法把安装程序放入作业对象（error 5），本程序所在的作业对象也不允许脱离（error 5）"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        journal.clear();
        log.lines.clear();
        system.inOuterJob = c.inOuterJob;
        system.nestedJobs = c.nestedJobs;
        system.outerJobAllowsBreakaway = c.allowsBreakaway;
        Result<StartedSetup> setup = StartSetupInJob(system, system, log, start);
        ASSERT_TRUE(setup);
        EXPECT_EQ(setup->route, c.route);
        EXPECT_EQ(setup->program->JobStillRuns().has_value(), c.route != JobRoute::NoJob);
        EXPECT_TRUE(log.Has(c.logged)) << log.lines.front();
        const bool triedBreakaway = c.route != JobRoute::OwnJob;
        EXPECT_EQ(Journalled("start " + start.program + " /S in " + start.workingDirectory + " breaking away"),
            triedBreakaway ? 1 : 0);
        // Only a setup that never ran is ended: the one left behind by the route taken.
        EXPECT_EQ(Journalled("end suspended " + start.program), c.route == JobRoute::BrokeAway ? 1 : 0);
    }
}

TEST_F(SetupJobTest, SetupThatBrokeAwayIsWaitedForAsInAJob)
{
    InAJobOnWindows7(true);
    Bootstrapper();
    const std::uint32_t began = system.now;
    EXPECT_EQ(Press().setup.verdict, Verdict::Succeeded);
    EXPECT_LT(system.now - began, 3500u);
}

// Without a job the first look after the setup's end cannot decide: a bootstrapper's child
// may still be adding the package. Only the limits end that wait.
TEST_F(SetupJobTest, WithoutAJobThePackageIsWaitedForUntilTheLimit)
{
    InAJobOnWindows7(false);
    Bootstrapper();
    EXPECT_EQ(Press().setup.verdict, Verdict::Succeeded) << "judged at the first look";
    EXPECT_TRUE(window.labelVisible);
    EXPECT_TRUE(log.Has("安装程序不在作业对象中，在时限内等待驱动程序包"));

    // Unattended, a setup that failed quietly is waited for until /TIMEOUT, then judged.
    FreshSystem quiet(journal);
    quiet.system.inOuterJob = true;
    quiet.system.nestedJobs = false;
    quiet.system.storeCopyAtMs.reset();
    NoWindowOps noWindow;
    const std::uint32_t began = quiet.system.now;
    const PreInstallOutcome outcome = RunPreInstall(
        noWindow, quiet.system, quiet.waiting, log, quiet.system.WhereItIs(), {kFakeProgramPath}, {90, std::nullopt});
    EXPECT_EQ(DeploymentExitCode(outcome), kErrorDriverStoreAddFailed);
    EXPECT_EQ(quiet.system.now - began, 90000u);
    EXPECT_TRUE(log.Has("（安装程序不在作业对象中，看不到它启动的进程；等待时间已到）"));
}

// Every minute of a long wait says how long the run has waited and how long it still may.
TEST_F(SetupJobTest, LongWaitIsLoggedEveryMinuteWithTheTimeLeft)
{
    system.setupRunsMs = 150000;
    NoWindowOps noWindow;
    EXPECT_EQ(DeploymentExitCode(RunPreInstall(
                  noWindow, system, waiting, log, system.WhereItIs(), {kFakeProgramPath}, {600, std::nullopt})),
        0u);
    EXPECT_TRUE(log.Has("已等待安装程序 60 秒，最多还等 540 秒"));
    EXPECT_TRUE(log.Has("已等待安装程序 120 秒，最多还等 480 秒"));
    EXPECT_FALSE(log.Has("已等待安装程序 180 秒"));

    log.lines.clear();
    FreshSystem windowRun(journal);
    windowRun.system.setupRunsMs = 70000;
    Press(window, windowRun.system, windowRun.waiting, log);
    EXPECT_TRUE(log.Has("已等待安装程序 60 秒，没有时限")) << "the window waits for the setup as long as it runs";
}

} // namespace
