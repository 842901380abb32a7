// The exit-code table and what is made from it: the run's event, the success rule, the usage
// box's code column.
#include "staging/ExitCodes.h"
#include "shell/ShellTexts.h"
#include "staging/RunEvents.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace {

// An event as a pair that prints: type (0 information, 1 warning, 2 error) and id.
std::pair<int, unsigned long> Pair(const RunEvent& event)
{
    return {static_cast<int>(event.type), event.id};
}

// The events as docs/command-line.md ("The event") gives them: 1618 a warning of its own;
// an uninstall's 0 information, 0xE000023D a warning, anything else an error; an install's 0
// information, 3010 and 1641 a warning, anything else an error.
RunEvent DocumentedEvent(RunKind kind, unsigned long code)
{
    if (code == 1618)
        return {EventType::Warning, 1003};
    if (kind == RunKind::Uninstall) {
        if (code == 0)
            return {EventType::Information, 1010};
        return code == 0xE000023D ? RunEvent{EventType::Warning, 1012} : RunEvent{EventType::Error, 1011};
    }
    if (code == 0)
        return {EventType::Information, 1000};
    return code == 3010 || code == 1641 ? RunEvent{EventType::Warning, 1001} : RunEvent{EventType::Error, 1002};
}

TEST(ExitCodes, EachRunsEventIsTheDocumentedOne)
{
    std::set<unsigned long> codes = {1, 5, 32, 112, 193, 1307, 1707, 0xE0000000, 0xE0000235, 0xFFFFFFFF};
    for (const ExitCodeRow& row : ExitCodeTable())
        codes.insert(row.code.number);
    for (const RunKind kind : {RunKind::Install, RunKind::Uninstall})
        for (const unsigned long code : codes)
            EXPECT_EQ(Pair(EventFor(kind, code)), Pair(DocumentedEvent(kind, code)))
                << (kind == RunKind::Install ? "install " : "uninstall ") << code;
}

TEST(ExitCodes, SuccessAndRestartAreTheTablesSuccessCodes)
{
    for (const unsigned long code : {0ul, 3010ul, 1641ul})
        EXPECT_TRUE(IsSuccessCode(code)) << code;
    for (const unsigned long code : {1ul, 1603ul, 1618ul, 1707ul, 3011ul, 0xE0000247ul})
        EXPECT_FALSE(IsSuccessCode(code)) << code;
    EXPECT_TRUE(MeansRestart(3010));
    EXPECT_TRUE(MeansRestart(1641));
    for (const unsigned long code : {0ul, 1603ul, 1707ul, 3011ul})
        EXPECT_FALSE(MeansRestart(code)) << code;
}

// One row per code and run, one failed-step row that gives both runs' events, and every
// code its run's event where its run gives it.
TEST(ExitCodes, TableIsWhole)
{
    int failedStepRows = 0;
    std::set<std::tuple<int, CodeFamily, unsigned long>> seen;
    for (const ExitCodeRow& row : ExitCodeTable()) {
        const std::string code = ExitCodeText(row.code);
        failedStepRows += row.code.family == CodeFamily::FailedStep;
        for (const RunKind kind : {RunKind::Install, RunKind::Uninstall}) {
            if (ListedUnder(row, kind) || row.runs == CodeRuns::RefusedCommandLine) {
                EXPECT_TRUE(seen.insert({static_cast<int>(kind), row.code.family, row.code.number}).second)
                    << code << " has two rows for one run";
            }
        }
        if (row.code.family != CodeFamily::Number) {
            EXPECT_NE(row.code.chineseLabel, nullptr);
            EXPECT_NE(row.code.englishLabel, nullptr);
        }
        EXPECT_EQ(row.installEvent.has_value(), row.runs == CodeRuns::Install || row.runs == CodeRuns::Both) << code;
        EXPECT_EQ(row.uninstallEvent.has_value(), row.runs == CodeRuns::Uninstall || row.runs == CodeRuns::Both)
            << code;
    }
    EXPECT_EQ(failedStepRows, 1);
    EXPECT_TRUE(FailedStepRow().installEvent && FailedStepRow().uninstallEvent);
    EXPECT_EQ(ExitCodeText({CodeFamily::Number, 0xE0000247, nullptr, nullptr}), "0xE0000247");
    EXPECT_EQ(ExitCodeText({CodeFamily::Number, 4395, nullptr, nullptr}), "4395");
}

// The usage box puts each meaning at the same tab stop in any message-box font: each code,
// however wide the font draws it, stays short of the same tab stop, and of the column's.
TEST(ExitCodes, UsageBoxCodesReachTheirColumnInAnyFont)
{
    for (const ExitCodeRow& row : ExitCodeTable()) {
        const std::string code = ExitCodeText(row.code);
        const TextWidth width = EstimatedWidth(code);
        EXPECT_EQ(static_cast<int>(width.least) / kTabStopWidth, static_cast<int>(width.most) / kTabStopWidth)
            << code << " may end before or after a tab stop, by the font";
        EXPECT_LT(width.most, 2 * kTabStopWidth) << code << " reaches the meanings' column";
    }
}

// One line per code in the usage box (how short, the Wine test of the box tells: none wraps).
TEST(ExitCodes, ChineseMeaningsAreOneLineEach)
{
    for (const ExitCodeRow& row : ExitCodeTable())
        EXPECT_EQ(std::string(row.chinese).find_first_of("\n\t"), std::string::npos) << row.chinese;
}

} // namespace
