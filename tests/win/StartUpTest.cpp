// What the program's start-up guards against, shown by test builds of it and by a probe
// that runs its initialisation alone (tests/variants).
#include "tests/win/ProgramFixture.h"

namespace {

class StartUpTest : public ProgramTest {
protected:
    // Copies a test build or probe of the build under test into the scratch folder.
    std::wstring PlaceVariant(const std::wstring& fileName)
    {
        const std::wstring path = folder.Path() + fileName;
        CopyTestFile(VariantProgram(fileName), path);
        return path;
    }
    void PlantDll(const std::wstring& path) { CopyTestFile(VariantProgram(L"planted_dll.dll"), path); }
};

TEST_F(StartUpTest, DllsPlantedBesideTheProgramOrInItsWorkingDirectoryAreNotLoadedByName)
{
    const std::wstring workingDirectory = folder.Path() + L"downloads\\";
    ASSERT_TRUE(CreateDirectoryW(workingDirectory.c_str(), nullptr));
    const std::wstring probe = PlaceVariant(L"preinstall_dll_probe.exe");
    PlantDll(folder.Path() + L"planted.dll");
    PlantDll(workingDirectory + L"planted_cwd.dll");

    program = std::make_unique<RunningProgram>(probe, workingDirectory);
    const HWND window = WaitForTopWindow(program->Id(), L"TForm1", 60000);
    const HWND box = FindTopWindow(program->Id(), L"#32770");
    EXPECT_NE(window, nullptr) << "the probe showed: " << (box ? Narrow(MessageBoxText(box)) : "nothing");
    if (box != nullptr)
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    if (window != nullptr)
        PostMessageW(window, WM_CLOSE, 0, 0);
    ExpectExitCodeZero();
}

TEST_F(StartUpTest, SignedProgramStillOpensItsWindow)
{
    CopyTestFile(BuildUnderTest() + L"signed\\preinstall.exe", folder.Path() + L"preinstall.exe");
    Start();
    EXPECT_EQ(WindowText(window), kCaption);
    ExitWithCodeZero();
}

TEST_F(StartUpTest, InitialisationLoadsCommonControlsFromTheSystemBeforeAnyWindow)
{
    const std::wstring check = PlaceVariant(L"common_controls_check.exe");
    PlantDll(folder.Path() + L"comctl32.dll"); // must never be the one loaded
    RunningProgram run(check, folder.Path());
    EXPECT_EQ(run.WaitForExit(60000), 0u) << "see the probe's output above";
}

TEST_F(StartUpTest, WithoutSideBySideRedirectionNoCommonControlsAreLoaded)
{
    const std::wstring check = PlaceVariant(L"common_controls_check_bare.exe");
    PlantDll(folder.Path() + L"comctl32.dll");
    RunningProgram run(check, folder.Path());
    EXPECT_EQ(run.WaitForExit(60000), 0u) << "see the probe's output above";
}

} // namespace
