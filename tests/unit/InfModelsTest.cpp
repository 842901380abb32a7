// Which models of a package Windows takes, by processor and by version, as Microsoft's
// "Combining Platform Extensions with Operating System Versions" describes it; and the
// procedure's log lines and boxes for a package that has none for this Windows.
#include "staging/InfModels.h"
#include "staging/DriverPackage.h"
#include "staging/PreInstall.h"
#include "tests/unit/FakeSystem.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const RunningWindows kWindows2000{"x86", 5, 0, 2195, 1, 0};
const RunningWindows kXp{"x86", 5, 1, 2600, 1, 0x300};
const RunningWindows kWindows7x64{"amd64", 6, 1, 7601, 1, 0x100};
const RunningWindows kWindows7x86{"x86", 6, 1, 7601, 1, 0x100};
const RunningWindows kWindows10_1507{"amd64", 10, 0, 10240, 1, 0x100};
const RunningWindows kWindows10_1803{"amd64", 10, 0, 17134, 1, 0x100};
const RunningWindows kWindows10_21H1{"amd64", 10, 0, 19043, 1, 0x100};
const RunningWindows kServer2019{"amd64", 10, 0, 17763, 3, 0x110};

bool Fits(const std::string& decoration, const RunningWindows& windows)
{
    const std::optional<Decoration> read = ReadDecoration(decoration);
    return read && DecorationFits(*read, windows);
}

TEST(ReadDecoration, ReadsEachFieldAndRefusesWhatWindowsWouldNot)
{
    const std::optional<Decoration> full = ReadDecoration("ntAMD64.10.0.0x3.0x00000110.17763");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->architecture, "amd64");
    EXPECT_EQ(full->major, 10u);
    EXPECT_EQ(full->minor, 0u);
    EXPECT_EQ(full->productType, 3u);
    EXPECT_EQ(full->suiteMask, 0x110u);
    EXPECT_EQ(full->build, 17763u);

    const std::optional<Decoration> sparse = ReadDecoration("NTamd64.10.0...17763");
    ASSERT_TRUE(sparse);
    EXPECT_FALSE(sparse->productType);
    EXPECT_FALSE(sparse->suiteMask);
    EXPECT_EQ(sparse->build, 17763u);

    const std::optional<Decoration> plain = ReadDecoration("NT");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->architecture, "");
    EXPECT_FALSE(plain->major);

    for (const char* unreadable : {"Xamd64", "NTamd64.ten", "NTamd64.10.0.1.0.17763.1", "NTx86.0x"})
        EXPECT_FALSE(ReadDecoration(unreadable)) << unreadable;
}

// The page's own examples.
TEST(DecorationFits, AsTheExamplesOfMicrosoftsPage)
{
    // ntx86.5.1: Windows XP or later on x86.
    EXPECT_TRUE(Fits("ntx86.5.1", kXp));
    EXPECT_TRUE(Fits("ntx86.5.1", kWindows7x86));
    EXPECT_FALSE(Fits("ntx86.5.1", kWindows7x64));
    // nt.6.0: Windows Vista or later (a 64-bit Windows takes only its own decoration).
    EXPECT_TRUE(Fits("nt.6.0", kWindows7x86));
    EXPECT_FALSE(Fits("nt.6.0", kXp));
    // nt.10.0...14393: a Windows 10 build of 14393 or later.
    EXPECT_TRUE(Fits("ntamd64.10.0...14393", kWindows10_21H1));
    EXPECT_FALSE(Fits("ntamd64.10.0...14393", kWindows7x64));
}

TEST(DecorationFits, VersionProductSuiteAndBuildEachDecide)
{
    struct Case {
        const char* decoration;
        RunningWindows windows;
        bool fits;
    };
    const Case cases[] = {
        // A later build than this Windows 10, or any build on an earlier Windows.
        {"NTamd64.10.0...17763", kWindows10_1803, false},
        {"NTamd64.10.0...17763", kWindows10_21H1, true},
        {"NTamd64.10.0...17763", kWindows7x64, false},
        // Before version 1607 (build 14310) Windows does not read the build field at all.
        {"NTamd64.10.0...10240", kWindows10_1507, false},
        {"NTamd64.10.0", kWindows10_1507, true},
        // An older version serves a newer Windows, whatever its build says.
        {"NTamd64.5.2", kWindows10_21H1, true},
        {"NTamd64.6.3...99999", kWindows10_21H1, true},
        {"NTamd64.6.2", kWindows7x64, false},
        // A server-only section on a workstation, and on a server.
        {"NTamd64.6.0.3", kWindows7x64, false},
        {"NTamd64.6.0.0x3", kServer2019, true},
        {"NTamd64.10.0.1", kServer2019, false},
        // Every suite named must be there.
        {"NTx86.5.1..0x00000200", kXp, true},
        {"NTx86.5.1..0x00000200", kWindows7x86, false},
        {"NTamd64.10.0..0x00000110", kServer2019, true},
        {"NTamd64.10.0..0x00000111", kServer2019, false},
        // Windows 2000 reads no decoration.
        {"NTx86", kWindows2000, false},
        {"NT", kWindows2000, false},
        // The processor.
        {"NTamd64", kWindows7x86, false},
        {"NT", kWindows7x64, false},
        {"ntAMD64", kWindows7x64, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Fits(c.decoration, c.windows), c.fits)
            << c.decoration << " on " << c.windows.architecture << " " << c.windows.major << "." << c.windows.minor
            << "." << c.windows.build << " type " << c.windows.productType;
}

// A [Manufacturer] line naming "Models" with these decorated sections and undecorated models.
ManufacturerModels Line(std::vector<ModelsSection> decorated, unsigned long undecoratedModels = 0)
{
    return {"Models", std::move(decorated), undecoratedModels};
}

TEST(FitOfModels, TheUndecoratedSectionServesX86WhereNoDecorationFits)
{
    using Lines = std::vector<ManufacturerModels>;
    const Lines decoratedOnly{Line({{"NTx86", 1}, {"NTamd64", 1}})};
    const Lines withUndecorated{Line({{"NTamd64", 1}}, 1)};
    const Lines laterBuildOnly{Line({{"NTamd64.10.0...99999", 1}})};
    const Lines laterBuildAndUndecorated{Line({{"NTx86.10.0...99999", 1}, {"NTamd64.10.0...99999", 1}}, 1)};

    EXPECT_EQ(FitOfModels(decoratedOnly, kWindows7x86), ModelsFit::Fits);
    EXPECT_EQ(FitOfModels(decoratedOnly, kWindows2000), ModelsFit::NotForThisVersion);
    EXPECT_EQ(FitOfModels(withUndecorated, kWindows2000), ModelsFit::Fits);
    EXPECT_EQ(FitOfModels(withUndecorated, kWindows7x86), ModelsFit::Fits);
    EXPECT_EQ(FitOfModels(laterBuildOnly, kWindows10_21H1), ModelsFit::NotForThisVersion);
    EXPECT_EQ(FitOfModels(laterBuildOnly, kWindows7x86), ModelsFit::NotForThisArchitecture);
    EXPECT_EQ(FitOfModels(laterBuildAndUndecorated, kWindows7x86), ModelsFit::Fits);
    EXPECT_EQ(FitOfModels(laterBuildAndUndecorated, kWindows7x64), ModelsFit::NotForThisVersion);
    EXPECT_EQ(FitOfModels(Lines{Line({}, 1)}, kWindows7x64), ModelsFit::NotForThisArchitecture);
    EXPECT_EQ(
        FitOfModels(decoratedOnly, RunningWindows{"arm64", 10, 0, 22621, 1, 0}), ModelsFit::NotForThisArchitecture);
    EXPECT_EQ(FitOfModels(Lines{}, kWindows7x86), ModelsFit::NotForThisArchitecture);
}

// Windows takes one section per line, the closest that fits, as the "INF Manufacturer
// Section" page's example shows: [MyName.NT.6.0] is empty, so the INF does not serve Windows
// Vista and later; [MyName.NTx86.5.1] serves Windows XP; [MyName], empty, not Windows 2000.
TEST(ChosenSection, TheClosestFittingSectionIsTakenAndAnEmptyOneMeansNotHere)
{
    const ManufacturerModels example{"MyName", {{"NT.6.0", 0}, {"NTx86.5.1", 1}}, 0};
    const std::optional<ModelsSection> onXp = ChosenSection(example, kXp);
    ASSERT_TRUE(onXp);
    EXPECT_EQ(SectionName(example, *onXp), "MyName.NTx86.5.1");
    EXPECT_EQ(FitOfModels({example}, kXp), ModelsFit::Fits);
    EXPECT_EQ(ChosenSection(example, kWindows7x86)->decoration, "NT.6.0");
    EXPECT_EQ(FitOfModels({example}, kWindows7x86), ModelsFit::NotForThisVersion);
    EXPECT_EQ(SectionName(example, *ChosenSection(example, kWindows2000)), "MyName");
    EXPECT_EQ(FitOfModels({example}, kWindows2000), ModelsFit::NotForThisVersion);

    // "Sample INF Models Sections for Only One Target Operating System": Windows Vista only.
    const RunningWindows vistaX86{"x86", 6, 0, 6002, 1, 0x100};
    const ManufacturerModels vistaOnly{"Msft", {{"NTx86.6.0", 2}, {"NT.6.1", 0}}, 0};
    EXPECT_EQ(FitOfModels({vistaOnly}, vistaX86), ModelsFit::Fits);
    EXPECT_EQ(ChosenSection(vistaOnly, kWindows7x86)->decoration, "NT.6.1");
    EXPECT_EQ(FitOfModels({vistaOnly}, kWindows7x86), ModelsFit::NotForThisVersion);

    // An architecture's models with an empty section for Windows Vista and later.
    const ManufacturerModels notOnVista = Line({{"NTx86", 3}, {"NTx86.6.0", 0}});
    EXPECT_EQ(FitOfModels({notOnVista}, kWindows7x86), ModelsFit::NotForThisVersion);
    EXPECT_EQ(FitOfModels({notOnVista}, kXp), ModelsFit::Fits);

    // Of equal versions, the later build, then the one that names more fields.
    const ManufacturerModels builds = Line({{"NTamd64.10.0...14393", 0}, {"NTamd64.10.0...17763", 2}, {"NTamd64", 0}});
    EXPECT_EQ(ChosenSection(builds, kWindows10_21H1)->decoration, "NTamd64.10.0...17763");
    EXPECT_EQ(ChosenSection(builds, kWindows10_1803)->decoration, "NTamd64.10.0...14393");
    EXPECT_EQ(FitOfModels({builds}, kWindows10_1803), ModelsFit::NotForThisVersion);
    const ManufacturerModels server = Line({{"NTamd64.10.0", 0}, {"NTamd64.10.0.3", 1}});
    EXPECT_EQ(ChosenSection(server, kServer2019)->decoration, "NTamd64.10.0.3");
    EXPECT_EQ(ChosenSection(server, kWindows10_21H1)->decoration, "NTamd64.10.0");

    // No section at all on a 64-bit Windows that no decoration serves.
    EXPECT_FALSE(ChosenSection(Line({{"NTx86", 1}}, 1), kWindows7x64));
}

TEST(DeclaredModels, NamesEachOnceAsWritten)
{
    EXPECT_EQ(DeclaredModels({Line({{"NTx86", 1}, {"NTamd64.10.0...19041", 1}}, 1),
                  Line({{"NTamd64.10.0...19041", 1}, {"NTarm64", 1}})}),
        (std::vector<std::string>{"NTx86", "NTamd64.10.0...19041", "无修饰", "NTarm64"}));
    EXPECT_EQ(DeclaredModels({Line({})}), std::vector<std::string>{});
}

class ModelsLogTest : public FakeRunTest {
protected:
    bool Logged(const std::string& text) const
    {
        return std::find(log.lines.begin(), log.lines.end(), text) != log.lines.end();
    }
};

TEST_F(ModelsLogTest, LogNamesThePlatformsAndWhyNoneFitsThisWindows)
{
    system.packageInf->manufacturers = {Line({{"NTx86", 1}})};
    system.windows = kWindows7x64;
    EXPECT_EQ(Press().error, 1633u);
    EXPECT_TRUE(Logged("TOVRA.INF 的 [Manufacturer] 有这些平台的型号: NTx86; 本机 Windows: amd64 6.1.7601 工作站 (套件 "
                       "0x0100)"));
    EXPECT_TRUE(
        Logged("警告: TOVRA.INF 没有适合本机 Windows (amd64) 的型号（需要 NTamd64），这个驱动包在本机上不会安装；"
               "请驱动包的提供者提供相应的已签名驱动和目录文件"));
    EXPECT_TRUE(Logged("[Manufacturer] 的 Models: 本机 Windows 不会用它的任何型号节"));
    EXPECT_EQ(window.messages,
        std::vector<std::string>{"TOVRA.INF文件中没有适用于本机Windows(64位)的驱动程序，驱动安装无法继续!"});
}

TEST_F(ModelsLogTest, LogNamesTheSectionWindowsTakesAndItsModels)
{
    system.packageInf->manufacturers = {Line({{"NTamd64", 3}, {"NTamd64.6.0", 0}})};
    system.windows = kWindows7x64;
    EXPECT_EQ(Press().error, 1633u);
    EXPECT_TRUE(Logged("[Manufacturer] 的 Models: 本机 Windows 会用 [Models.NTamd64.6.0]，其中有 0 个型号"));
}

// A version mismatch is told as one, with what the package asks for and what this Windows is.
TEST_F(ModelsLogTest, ModelsForAnotherVersionAreRefusedAndToldAsSuch)
{
    system.packageInf->manufacturers = {Line({{"NTamd64.10.0...17763", 1}})};
    system.windows = kWindows7x64;
    EXPECT_EQ(Press().error, 1633u);
    EXPECT_TRUE(log.Has("警告: TOVRA.INF 有本机处理器的型号，但都不适用于本机 Windows (amd64 6.1.7601 工作站"));
    EXPECT_EQ(window.messages,
        std::vector<std::string>{"TOVRA.INF文件中的驱动程序(NTamd64.10.0...17763)不适用于本机Windows(64位 6.1.7601 "
                                 "工作站)，驱动安装无法继续!"});
    EXPECT_FALSE(system.startedAt) << "staged and started all the same";
}

TEST_F(ModelsLogTest, NoWarningWhenAModelFitsAndAnUnreadableInfIsNamed)
{
    system.packageInf->manufacturers = {Line({{"NTx86", 1}, {"NTamd64", 1}})};
    system.windows = kWindows7x64;
    EXPECT_EQ(Press().error, 0u);
    EXPECT_TRUE(std::none_of(log.lines.begin(), log.lines.end(),
        [](const std::string& line) { return line.rfind("警告: TOVRA.INF", 0) == 0; }));

    log.lines.clear();
    system.packageInf.reset();
    system.infError = 13;
    EXPECT_EQ(Press().error, 13u);
    EXPECT_TRUE(Logged("无法读取 C:\\Package\\TOVRA.INF: error 13"));
}

TEST_F(ModelsLogTest, TheInfIsReadAlsoWithoutALog)
{
    system.windows = kWindows7x64; // the stand-in's undecorated models serve only x86
    NoStepLog noLog;
    EXPECT_EQ(Press(window, system, waiting, noLog).error, 1633u);
    EXPECT_EQ(system.lastInfRead, "C:\\Package\\TOVRA.INF");
}

} // namespace
