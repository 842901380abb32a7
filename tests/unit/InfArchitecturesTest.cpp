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

class ModelTargetsLogTest : public FakeRunTest {
protected:
    PreInstallOutcome Run(StepLog& into) { return RunWindowPreInstall(window, system, waiting, into); }
    bool Logged(const std::string& text) const
    {
        return std::find(log.lines.begin(), log.lines.end(), text) != log.lines.end();
    }
};

TEST_F(ModelTargetsLogTest, LogNamesThePlatformsAndWhyNoneFitsThisWindows)
{
    system.packageInf->decorations = Decorations{{"NTx86"}};
    system.nativeArchitecture = "amd64";
    EXPECT_EQ(Run(log).error, 1633u);
    EXPECT_TRUE(Logged("TOVRA.INF 的 [Manufacturer] 有这些平台的型号: NTx86; 本机 Windows: amd64"));
    EXPECT_TRUE(
        Logged("警告: TOVRA.INF 没有适合本机 Windows (amd64) 的型号（需要 NTamd64），这个驱动包在本机上不会安装；"
               "请驱动包的提供者提供相应的已签名驱动和目录文件"));
}

TEST_F(ModelTargetsLogTest, NoWarningWhenAModelFitsAndAnUnreadableInfIsNamed)
{
    system.packageInf->decorations = Decorations{{"NTx86", "NTamd64"}};
    system.nativeArchitecture = "amd64";
    EXPECT_EQ(Run(log).error, 0u);
    EXPECT_TRUE(std::none_of(log.lines.begin(), log.lines.end(),
        [](const std::string& line) { return line.rfind("警告: TOVRA.INF", 0) == 0; }));

    log.lines.clear();
    system.packageInf.reset();
    system.infError = 13;
    EXPECT_EQ(Run(log).error, 13u);
    EXPECT_TRUE(Logged("无法读取 C:\\Package\\TOVRA.INF: error 13"));
}

TEST_F(ModelTargetsLogTest, TheInfIsReadAlsoWithoutALog)
{
    NoStepLog noLog;
    system.nativeArchitecture = "amd64"; // the stand-in's undecorated models fit only x86
    EXPECT_EQ(Run(noLog).error, 1633u);
    EXPECT_EQ(system.lastInfRead, "C:\\Package\\TOVRA.INF");
}

} // namespace
