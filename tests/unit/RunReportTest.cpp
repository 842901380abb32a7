// How a run ends: the result line last, the event once, and the window's event for its
// last press only.
#include "staging/RunReport.h"
#include "tests/unit/FakeRecords.h"
#include "tests/unit/FakeSystem.h"

#include <gtest/gtest.h>

namespace {

class RunReportTest : public ::testing::Test {
protected:
    Journal journal;
    FakeSystem system{journal};
    RecordingLog log;
    FakeEventLog events{journal};

    static RunSummary Ended(unsigned long code)
    {
        RunSummary summary;
        summary.exitCode = code;
        return summary;
    }
};

TEST_F(RunReportTest, RunEndsWithItsEventThenItsResultLineWithTimeVersionAndLog)
{
    RunReport report(RunKind::Uninstall, log, system, system, &events, "9.8.7", "C:\\Logs\\a.log");
    system.now += 3500;
    report.End(Ended(kErrorInfInUseByDevices));
    ASSERT_EQ(events.events.size(), 1u);
    EXPECT_EQ(events.events[0].id, 1012u) << "the kind of run chooses the event";
    EXPECT_EQ(events.events[0].strings.back(), "C:\\Logs\\a.log");
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].find("用时 3 秒; 程序版本 9.8.7"), std::string::npos) << log.lines[0];
}

// The window reports one event for the program's run: its last press that ended, told when
// the window has closed; none when no press ended, or without arguments (no event log).
TEST_F(RunReportTest, WindowTellsOnlyItsLastPressInOneEvent)
{
    RunReport report(RunKind::Install, log, system, system, &events, "9.8.7", "");
    report.ReportLastEvent();
    EXPECT_TRUE(events.events.empty()) << "an event without a press";
    report.Start();
    report.EndWithoutEvent(Ended(2));
    system.now += 10000; // the window waits for the next press
    report.Start();
    system.now += 61000;
    report.EndWithoutEvent(Ended(3010));
    EXPECT_EQ(log.lines.size(), 2u) << "a result line per press";
    EXPECT_TRUE(events.events.empty()) << "an event before the window closed";
    report.ReportLastEvent();
    ASSERT_EQ(events.events.size(), 1u);
    EXPECT_EQ(events.events[0].id, 1001u);
    EXPECT_NE(log.lines[1].find("用时 61 秒"), std::string::npos) << "timed from the press: " << log.lines[1];

    RunReport withoutArguments(RunKind::Install, log, system, system, nullptr, "9.8.7", "");
    withoutArguments.EndWithoutEvent(Ended(0));
    withoutArguments.ReportLastEvent();
    EXPECT_EQ(events.events.size(), 1u);
}

} // namespace
