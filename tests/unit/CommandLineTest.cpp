#include "shell/CommandLine.h"
#include "staging/Ascii.h"

#include <gtest/gtest.h>

namespace {

using Arguments = std::vector<std::string>;

TEST(SplitCommandLine, FollowsTheRulesOfTheCRuntime)
{
    const std::pair<const char*, Arguments> cases[] = {
        {"preinstall.exe", {"preinstall.exe"}},
        {"\"C:\\Program Files\\预装\\preinstall.exe\" /S", {"C:\\Program Files\\预装\\preinstall.exe", "/S"}},
        {"C:\\a\\preinstall.exe   /S\t/LOG=x.log ", {"C:\\a\\preinstall.exe", "/S", "/LOG=x.log"}},
        // Quotes may start mid-argument; they group blanks and are dropped.
        {"p /LOG=\"C:\\日志 目录\\预装.log\" /S", {"p", "/LOG=C:\\日志 目录\\预装.log", "/S"}},
        {"p \"/LOG=C:\\my logs\\a.log\"", {"p", "/LOG=C:\\my logs\\a.log"}},
        // Backslashes escape only quotes: 2n before a quote give n, 2n+1 give n and a quote.
        {"p C:\\dir\\ \"a\\\\\" \"b\\\"c\"", {"p", "C:\\dir\\", "a\\", "b\"c"}},
        {"p \"a \"\"b\"\" c\"", {"p", "a \"b\" c"}},
        {"p \"\"", {"p", ""}},
        // The program's name takes no escapes, and the next argument may follow without a blank.
        {"\"C:\\dir\\\"/S", {"C:\\dir\\", "/S"}},
        {"", {""}},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(SplitCommandLine(line), expected) << line;
}

TEST(ParseArguments, SwitchesAreCaseInsensitiveWithSlashOrDash)
{
    for (const char* silent : {"/S", "/s", "-S", "/Q", "-q"})
        EXPECT_TRUE(ParseArguments({silent}).silent) << silent;
    for (const char* help : {"/?", "-?", "/h", "/HELP", "-Help"})
        EXPECT_TRUE(ParseArguments({help}).help) << help;

    const CommandLineRequest logged = ParseArguments({"/log=C:\\日志\\Log.TXT", "/S"});
    EXPECT_EQ(logged.logPath, "C:\\日志\\Log.TXT") << "the path keeps its case";
    EXPECT_TRUE(logged.silent);
    EXPECT_TRUE(logged.unknownSwitch.empty());
}

TEST(ParseArguments, PlainArgumentsAreIgnoredAndTheFirstUnknownSwitchIsKept)
{
    const CommandLineRequest dropped = ParseArguments({"C:\\Users\\me\\Desktop\\TOVRA.INF", "readme"});
    EXPECT_FALSE(dropped.silent || dropped.help);
    EXPECT_TRUE(dropped.logPath.empty());
    EXPECT_TRUE(dropped.unknownSwitch.empty());

    for (const char* unknown : {"/X", "/LOG=", "/LOG", "/SILENT", "--S", "/", "-"})
        EXPECT_EQ(ParseArguments({"/S", unknown, "/Y"}).unknownSwitch, unknown);
}

TEST(ParseArguments, TimeoutTakesWholeSecondsFromOneToADay)
{
    EXPECT_EQ(ParseArguments({"/S"}).setupTimeoutSeconds, 1800u);
    const std::pair<const char*, unsigned long> accepted[] = {
        {"/TIMEOUT=1", 1}, {"-timeout=600", 600}, {"/Timeout=86400", 86400}, {"/TIMEOUT=0003", 3}};
    for (const auto& [argument, seconds] : accepted) {
        const CommandLineRequest request = ParseArguments({"/S", argument});
        EXPECT_EQ(request.setupTimeoutSeconds, seconds) << argument;
        EXPECT_TRUE(request.unknownSwitch.empty()) << argument;
    }
    for (const char* rejected : {"/TIMEOUT=0", "/TIMEOUT=86401", "/TIMEOUT=", "/TIMEOUT", "/TIMEOUT=-5", "/TIMEOUT=+5",
             "/TIMEOUT=1.5", "/TIMEOUT=5s", "/TIMEOUT= 5", "/TIMEOUT=4294967297", "/TIMEOUT=99999"})
        EXPECT_EQ(ParseArguments({"/S", rejected}).unknownSwitch, rejected);
}

TEST(ParseArguments, SetupSha256IsSixtyFourHexDigitsInEitherCaseKeptInLowerCase)
{
    const std::string lower = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
    EXPECT_TRUE(ParseArguments({"/S"}).setupSha256.empty());
    for (const std::string& argument : {"/SETUPSHA256=" + lower, "-setupsha256=" + UpperAscii(lower)}) {
        const CommandLineRequest request = ParseArguments({argument, "/S"});
        EXPECT_EQ(request.setupSha256, lower) << argument;
        EXPECT_TRUE(request.unknownSwitch.empty()) << argument;
    }
    EXPECT_EQ(ParseArguments({"/SETUPSHA256=" + UpperAscii(lower)}).setupSha256, lower) << "also for the window";
    for (const std::string& rejected : {"/SETUPSHA256=" + lower.substr(1), "/SETUPSHA256=" + lower + "0",
             "/SETUPSHA256=" + lower.substr(1) + "g", std::string("/SETUPSHA256="), std::string("/SETUPSHA256"),
             "/SETUPSHA256= " + lower.substr(1), "/SETUPSHA256=0x" + lower.substr(2)}) {
        const CommandLineRequest request = ParseArguments({"/S", rejected});
        EXPECT_EQ(request.unknownSwitch, rejected);
        EXPECT_TRUE(request.setupSha256.empty()) << rejected;
    }
}

TEST(ParseArguments, UninstallIsASwitchOfItsOwn)
{
    const CommandLineRequest request = ParseArguments({"/uninstall", "/S", "/LOG=u.log"});
    EXPECT_TRUE(request.uninstall);
    EXPECT_TRUE(request.silent);
    EXPECT_TRUE(request.unknownSwitch.empty());
    EXPECT_FALSE(ParseArguments({"/S"}).uninstall);
    EXPECT_EQ(ParseArguments({"/UNINSTALLX"}).unknownSwitch, "/UNINSTALLX");
}

TEST(ParseArguments, NoArpLeavesOutOnlyTheEntry)
{
    EXPECT_TRUE(ParseArguments({"/S"}).programsEntry);
    const CommandLineRequest request = ParseArguments({"/S", "-noarp"});
    EXPECT_FALSE(request.programsEntry);
    EXPECT_TRUE(request.silent);
    EXPECT_TRUE(request.unknownSwitch.empty());
}

// The uninstall that continues from a temporary copy passes on its arguments as written.
TEST(ArgumentsOf, IsTheCommandLineAfterTheProgramAsWritten)
{
    EXPECT_EQ(ArgumentsOf("\"C:\\WINDOWS\\tovra_driver\\preinstall.exe\" /UNINSTALL /S \"/LOG=C:\\日志 目录\\a.log\""),
        "/UNINSTALL /S \"/LOG=C:\\日志 目录\\a.log\"");
    EXPECT_EQ(ArgumentsOf("preinstall.exe  /UNINSTALL"), "/UNINSTALL");
    EXPECT_EQ(ArgumentsOf("\"C:\\a b\\preinstall.exe\""), "");
}

// The store helper removes a package by its INF's name in the inf folder, and nothing else.
TEST(ParseStoreHelperArguments, TakesOnlyAPlainInfNameAndForce)
{
    const auto plain = ParseStoreHelperArguments({"/REMOVE", "oem12.inf"});
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->infName, "oem12.inf");
    EXPECT_FALSE(plain->force);
    const auto forced = ParseStoreHelperArguments({"/REMOVE", "oem12.INF", "/FORCE"});
    ASSERT_TRUE(forced);
    EXPECT_TRUE(forced->force);
    const std::vector<std::vector<std::string>> refused{{}, {"/REMOVE"}, {"/REMOVE", "..\\system32\\x.inf"},
        {"/REMOVE", "C:x.inf"}, {"/REMOVE", "a/b.inf"}, {"/REMOVE", ".inf"}, {"/REMOVE", "oem1.sys"},
        {"/REMOVE", "oem1.inf", "/FORCE", "/FORCE"}, {"/REMOVE", "oem1.inf", "/S"}, {"/DELETE", "oem1.inf"}};
    for (const auto& arguments : refused)
        EXPECT_FALSE(ParseStoreHelperArguments(arguments)) << (arguments.empty() ? "" : arguments.back());
}

} // namespace
