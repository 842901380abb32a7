// Which platforms a package's [Manufacturer] section has models for, and the log lines of
// the procedure that reports them.
#include "staging/InfArchitectures.h"
#include "staging/DriverPackage.h"
#include "staging/PreInstall.h"
#include "tests/unit/FakeOps.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Decorations = std::vector<std::vector<std::string>>;
using Targets = std::vector<std::string>;

TEST(ModelTargets, NamesEachPlatformOnceWithoutItsVersion)
{
    EXPECT_EQ(ModelTargets({{}}), (Targets{"无修饰"}));
    EXPECT_EQ(ModelTargets({{"NTx86", "NTamd64.10.0...19041", "NTamd64"}, {"NTarm64"}}),
        (Targets{"NTx86", "NTamd64", "NTarm64"}));
    EXPECT_EQ(ModelTargets({}), Targets{});
}

TEST(TargetsFit, EachWindowsTakesOnlyWhatIsMadeForIt)
{
    struct Case {
        Targets targets;
        const char* native;
        bool fits;
    };
    const Case cases[] = {
        {{"无修饰"}, "x86", true},
        {{"无修饰"}, "amd64", false}, // 64-bit Windows needs NTamd64
        {{"NTx86"}, "x86", true},
        {{"NTx86"}, "amd64", false},
        {{"NTamd64"}, "amd64", true},
        {{"ntAMD64"}, "amd64", true},
        {{"NTamd64"}, "x86", false},
        {{"NT"}, "x86", true},
        {{"NT"}, "amd64", false},
        {{"NTx86", "NTamd64"}, "arm64", false},
        {{"NTarm64"}, "arm64", true},
        {{}, "x86", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TargetsFit(c.targets, c.native), c.fits) << c.native << " " << ::testing::PrintToString(c.targets);
}

class ModelTargetsLogTest : public ::testing::Test {
protected:
    Journal journal;
    FakeWindow window{journal};
    FakeSystem system{journal};
    RecordingLog log;

    void SetUp() override
    {
        for (const auto& file : kDriverPackage)
            system.files.insert(std::string("C:\\Package\\") + file.name);
    }
    bool Logged(const std::string& text) const
    {
        return std::find(log.lines.begin(), log.lines.end(), text) != log.lines.end();
    }
};

TEST_F(ModelTargetsLogTest, ReadsThePackagesInfAndWarnsWhenNoModelFitsAndStillStages)
{
    system.decorations = Decorations{{"NTx86"}};
    system.nativeArchitecture = "amd64";
    EXPECT_EQ(RunPreInstall(window, system, log).error, 0u);
    EXPECT_EQ(system.lastInfRead, "C:\\Package\\TOVRA.INF");
    EXPECT_TRUE(Logged("TOVRA.INF 的 [Manufacturer] 有这些平台的型号: NTx86; 本机 Windows: amd64"));
    EXPECT_TRUE(
        Logged("警告: TOVRA.INF 没有适合本机 Windows (amd64) 的型号（需要 NTamd64），这个驱动包在本机上不会安装；"
               "请驱动包的提供者提供相应的已签名驱动和目录文件"));
    EXPECT_TRUE(window.messages.empty()) << "the window was told";
}

TEST_F(ModelTargetsLogTest, NoWarningWhenAModelFitsAndAnUnreadableInfIsOnlyLogged)
{
    system.decorations = Decorations{{"NTx86", "NTamd64"}};
    system.nativeArchitecture = "amd64";
    RunPreInstall(window, system, log);
    EXPECT_TRUE(std::none_of(log.lines.begin(), log.lines.end(),
        [](const std::string& line) { return line.rfind("警告: TOVRA.INF", 0) == 0; }));

    log.lines.clear();
    system.decorations = std::nullopt;
    system.decorationsError = 13;
    EXPECT_EQ(RunPreInstall(window, system, log).error, 0u);
    EXPECT_TRUE(Logged("无法读取 C:\\Package\\TOVRA.INF 的 [Manufacturer]: error 13"));
}

TEST_F(ModelTargetsLogTest, WithoutALogTheInfIsNotRead)
{
    NoStepLog noLog;
    EXPECT_EQ(RunPreInstall(window, system, noLog).error, 0u);
    EXPECT_EQ(system.lastInfRead, "");
}

} // namespace
