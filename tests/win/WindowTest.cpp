// The real program, started from a folder holding the stand-in package and driven from
// this process as a person would drive it.
#include "tests/win/WindowProbe.h"
#include "tests/win/WinTestSupport.h"

#include <gtest/gtest.h>

namespace {

const std::wstring kCaption = L"IC卡读写器USB程序安装";
const std::wstring kWarning = L"警告";

struct ExpectedControl {
    const wchar_t* className;
    const wchar_t* text;
    RECT rect; // left, top, right, bottom in the client area
    bool visible;
};

// In creation order, at 96 dots per inch.
const ExpectedControl kExpectedControls[] = {
    {L"Static", L"必遵循以下步骤才能完成安装过程:", {8, 8, 256, 24}, true},
    {L"Static", L"(1)  如果读写器已连上电脑，请取出，让读写器与电脑分离，", {36, 36, 476, 52}, true},
    {L"Static", L"(2)  将读写器插到电脑上，如果是WIN2000操作系统则不会出现", {36, 104, 484, 120}, true},
    {L"Static", L"预装硬件设备的驱动信息，请点击", {76, 64, 316, 80}, true},
    {L"Static", L"任何提示画面而自动安装成功。", {76, 128, 300, 144}, true},
    {L"Static", L"预装成功!", {415, 64, 487, 80}, false},
    {L"Static", L"如果是WINXP系统则会弹出[发现新的硬件安装向导]，", {74, 152, 495, 168}, true},
    {L"Static", L"选择\"否，暂时不\"连接到Windows Update搜索软件,弹出下一画面，", {74, 172, 539, 188}, true},
    {L"Static", L"选择\"自动安装软件\"，并一直点击[下一步]就可成功安装。", {74, 192, 495, 208}, true},
    {L"Button", L"预装驱动", {320, 60, 409, 89}, true},
    {L"Button", L"退出", {408, 216, 509, 245}, true},
};
constexpr std::size_t kLabel8 = 5;
constexpr std::size_t kButton1 = 9;
constexpr std::size_t kButton2 = 10;

class ProgramTest : public ::testing::Test {
protected:
    ScratchFolder folder{L"program_run"};
    const std::wstring staging = WindowsDirectory() + L"\\tovra_driver\\";

    void SetUp() override
    {
        RemoveTree(staging);
        CopyStandInPackage(folder.Path());
        ASSERT_TRUE(CopyFileW(L"" PREINSTALL_EXE, (folder.Path() + L"preinstall.exe").c_str(), FALSE));
    }
    void TearDown() override { RemoveTree(staging); }

    // Starts the program and finds its window and controls.
    void Start(const wchar_t* executable = L"preinstall.exe")
    {
        program = std::make_unique<RunningProgram>(folder.Path() + executable, folder.Path());
        window = WaitForTopWindow(program->Id(), L"TForm1", 20000);
        ASSERT_NE(window, nullptr) << "no main window";
        controls = ChildWindows(window);
        ASSERT_EQ(controls.size(), std::size(kExpectedControls));
    }
    HWND WaitForMessageBox() { return WaitForTopWindow(program->Id(), L"#32770", 10000); }
    bool SucceedsWithin(unsigned milliseconds)
    {
        return WaitUntil([&] { return IsWindowVisible(controls[kLabel8]) != FALSE; }, milliseconds);
    }
    void ExpectExitCodeZero() { EXPECT_EQ(program->WaitForExit(10000), 0u); }

    std::unique_ptr<RunningProgram> program;
    HWND window = nullptr;
    std::vector<HWND> controls;
};

TEST_F(ProgramTest, WindowIsAsDescribed)
{
    Start();
    EXPECT_EQ(WindowText(window), kCaption);

    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 546);
    EXPECT_EQ(client.bottom, 259);

    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);

    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    // The caption shows our icon: its reader-body colour appears at the caption's left end.
    EXPECT_TRUE(WaitUntil([&] { return CountPixels({frame.left, frame.top, frame.left + 32, frame.top + 32},
                                                   RGB(52, 61, 78)) > 4; },
                          5000))
        << "the caption shows no icon of ours";

    for (std::size_t i = 0; i < std::size(kExpectedControls); ++i) {
        const ExpectedControl& expected = kExpectedControls[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(ClassName(controls[i]), expected.className);
        EXPECT_EQ(WindowText(controls[i]), expected.text);
        const RECT rect = RectInParent(controls[i]);
        EXPECT_EQ(rect.left, expected.rect.left);
        EXPECT_EQ(rect.top, expected.rect.top);
        EXPECT_EQ(rect.right, expected.rect.right);
        EXPECT_EQ(rect.bottom, expected.rect.bottom);
        EXPECT_EQ(IsWindowVisible(controls[i]) != FALSE, expected.visible);
    }
}

TEST_F(ProgramTest, TabMovesBetweenTheTwoButtonsOnly)
{
    Start();
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(window) == controls[kButton1]; }, 5000));
    PressKey(controls[kButton1], VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(window) == controls[kButton2]; }, 5000));
    PressKey(controls[kButton2], VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(window) == controls[kButton1]; }, 5000));
}

TEST_F(ProgramTest, EnterPressesTheFocusedButton)
{
    Start();
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(window) == controls[kButton1]; }, 5000));
    PressKey(controls[kButton1], VK_RETURN);
    EXPECT_TRUE(SucceedsWithin(10000));
}

TEST_F(ProgramTest, PreInstallStagesThePackageAndShowsSuccessInBlue)
{
    Start();
    ASSERT_TRUE(Click(controls[kButton1]));
    ASSERT_TRUE(SucceedsWithin(10000));
    EXPECT_FALSE(IsWindowEnabled(controls[kButton1]));
    EXPECT_EQ(FindTopWindow(program->Id(), L"#32770"), nullptr);

    EXPECT_EQ(ReadWholeFile(staging + L"TOVRA_SETUP.EXE"), ReadWholeFile(folder.Path() + L"TOVRA.EXB"));
    for (const wchar_t* name : {L"TOVRA.INF", L"TOVRAWDM.SYS", L"TOVRA.DLL"})
        EXPECT_EQ(ReadWholeFile(staging + name), ReadWholeFile(folder.Path() + name));
    ASSERT_TRUE(WaitForFile(staging + L"setup.log", 10000));
    const std::string log = ReadWholeFile(staging + L"setup.log");
    EXPECT_NE(log.find("TOVRA_SETUP.EXE\" /S\t"), std::string::npos) << log;
    EXPECT_NE(log.find("\\tovra_driver\t0\n"), std::string::npos) << log;

    // The success text is drawn in pure blue: look at the screen.
    RECT label{};
    GetWindowRect(controls[kLabel8], &label);
    EXPECT_TRUE(WaitUntil([&] { return CountPixels(label, RGB(0, 0, 255)) > 20; }, 5000));
}

TEST_F(ProgramTest, MissingFileIsReportedAndTheWindowWorksOn)
{
    const std::wstring inf = folder.Path() + L"TOVRA.INF";
    const std::string infBytes = ReadWholeFile(inf);
    DeleteFileW(inf.c_str());
    DeleteFileW((folder.Path() + L"TOVRA.DLL").c_str());
    Start();

    ASSERT_TRUE(Click(controls[kButton1]));
    const HWND box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), kWarning);
    EXPECT_EQ(MessageBoxText(box), L"无法在当前目录下找到TOVRA.INF文件，驱动安装无法继续!");
    EXPECT_EQ(GetWindow(box, GW_OWNER), window);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return FindTopWindow(program->Id(), L"#32770") == nullptr; }, 5000));

    EXPECT_FALSE(PathExists(staging));
    EXPECT_TRUE(IsWindowEnabled(controls[kButton1]));
    EXPECT_FALSE(IsWindowVisible(controls[kLabel8]));

    WriteWholeFile(inf, infBytes);
    CopyFileW((std::wstring(L"" STANDIN_PACKAGE_DIR) + L"\\TOVRA.DLL").c_str(), (folder.Path() + L"TOVRA.DLL").c_str(),
              FALSE);
    ASSERT_TRUE(Click(controls[kButton1]));
    EXPECT_TRUE(SucceedsWithin(10000));
}

TEST_F(ProgramTest, StagingPathTakenByAFileIsReportedNotSuccess)
{
    WriteWholeFile(WindowsDirectory() + L"\\tovra_driver", "in the way");
    Start();
    ASSERT_TRUE(Click(controls[kButton1]));
    const HWND box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    const std::wstring text = MessageBoxText(box);
    EXPECT_EQ(text.rfind(L"无法创建目录" + WindowsDirectory() + L"\\tovra_driver，驱动安装无法继续!\n", 0), 0u)
        << WindowText(box);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return FindTopWindow(program->Id(), L"#32770") == nullptr; }, 5000));
    EXPECT_TRUE(IsWindowEnabled(controls[kButton1]));
    EXPECT_FALSE(IsWindowVisible(controls[kLabel8]));
    DeleteFileW((WindowsDirectory() + L"\\tovra_driver").c_str());
}

TEST_F(ProgramTest, ExitButtonCloseBoxAndCloseMessageEachEndWithCodeZero)
{
    const std::function<void()> ways[] = {
        [this] { Click(controls[kButton2]); },
        [this] { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); },
        [this] { PostMessageW(window, WM_CLOSE, 0, 0); },
    };
    for (const auto& close : ways) {
        Start();
        close();
        ExpectExitCodeZero();
    }
}

TEST_F(ProgramTest, ExitAfterPreInstallLeavesTheSetupRunning)
{
    const HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, L"TovraStandInSetupHold");
    Start();
    ASSERT_TRUE(Click(controls[kButton1]));
    ASSERT_TRUE(SucceedsWithin(10000));
    ASSERT_TRUE(WaitForFile(staging + L"setup.log", 10000));
    ASSERT_TRUE(Click(controls[kButton2]));
    ExpectExitCodeZero();
    EXPECT_TRUE(IsProcessRunning(L"TOVRA_SETUP.EXE"));
    SetEvent(hold);
    EXPECT_TRUE(WaitUntil([] { return !IsProcessRunning(L"TOVRA_SETUP.EXE"); }, 10000));
    CloseHandle(hold);
}

TEST_F(ProgramTest, StartUpFailureIsShownWithoutAWindowAndExitsZero)
{
    ASSERT_TRUE(CopyFileW(L"" PREINSTALL_WITHOUT_LABEL8_EXE, (folder.Path() + L"broken.exe").c_str(), FALSE));
    program = std::make_unique<RunningProgram>(folder.Path() + L"broken.exe", folder.Path());
    const HWND box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), kCaption); // the application's title
    EXPECT_NE(MessageBoxText(box).find(L"Label8"), std::wstring::npos) << MessageBoxText(box);
    EXPECT_EQ(FindTopWindow(program->Id(), L"TForm1"), nullptr);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ExpectExitCodeZero();
}

} // namespace
