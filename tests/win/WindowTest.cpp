// The real program, started from a folder holding the stand-in package and driven from
// this process as a person would drive it.
#include "tests/win/ProgramFixture.h"

#include <algorithm>

namespace {

// Width of `text` in the window's font with characters `height` pixels high.
int TextWidth(const std::wstring& text, BYTE charset, int height)
{
    LOGFONTW font{};
    font.lfHeight = -height;
    font.lfCharSet = charset;
    lstrcpyW(font.lfFaceName, L"宋体");
    const HFONT handle = CreateFontIndirectW(&font);
    const HDC screen = GetDC(nullptr);
    const HGDIOBJ previous = SelectObject(screen, handle);
    SIZE size{};
    GetTextExtentPoint32W(screen, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    DeleteObject(handle);
    return size.cx;
}

TEST_F(ProgramTest, WindowIsAsDescribed)
{
    const HDC screen = GetDC(nullptr);
    ASSERT_EQ(GetDeviceCaps(screen, LOGPIXELSY), EXPECTED_DPI) << "the test runs at the wrong dots per inch";
    ReleaseDC(nullptr, screen);

    Start();
    EXPECT_EQ(WindowText(window), kCaption);

    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, Scaled(546));
    EXPECT_EQ(client.bottom, Scaled(259));

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
    EXPECT_TRUE(WaitUntil(
        [&] {
            return CountPixels({frame.left, frame.top, frame.left + 32, frame.top + 32}, RGB(52, 61, 78)) > 4;
        },
        5000))
        << "the caption shows no icon of ours";

    for (std::size_t i = 0; i < std::size(kExpectedControls); ++i) {
        const ExpectedControl& expected = kExpectedControls[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(ClassName(controls[i]), expected.className);
        EXPECT_EQ(WindowText(controls[i]), expected.text);
        const RECT rect = RectInParent(controls[i]);
        EXPECT_EQ(rect.left, Scaled(expected.rect.left));
        EXPECT_EQ(rect.top, Scaled(expected.rect.top));
        EXPECT_EQ(rect.right - rect.left, Scaled(expected.rect.right - expected.rect.left));
        EXPECT_EQ(rect.bottom - rect.top, Scaled(expected.rect.bottom - expected.rect.top));
        EXPECT_EQ(IsWindowVisible(controls[i]) != FALSE, expected.visible);
        if (expected.className == std::wstring(L"Static")) {
            // Scaled text fits its scaled box as well as it fits at 96 dpi (where a line
            // can be a few pixels wider than its box, and is clipped).
            const int width96 = expected.rect.right - expected.rect.left;
            const int overflow96 = std::max(0, TextWidth(expected.text, expected.charset, 16) - width96);
            EXPECT_LE(TextWidth(expected.text, expected.charset, Scaled(16)),
                rect.right - rect.left + Scaled(overflow96) + 1);
        }
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

TEST_F(ProgramTest, EnterAndSpacePressTheFocusedButton)
{
    for (const WORD key : {VK_RETURN, VK_SPACE}) {
        RemoveTree(staging);
        Start();
        ASSERT_TRUE(WaitUntil([&] { return FocusOf(window) == controls[kButton1]; }, 5000));
        PressKey(controls[kButton1], key);
        EXPECT_TRUE(SucceedsWithin(30000)) << key;
        ExitWithCodeZero();
    }
}

TEST_F(ProgramTest, PreInstallStagesThePackageAndShowsSuccessInBlue)
{
    Start();
    ASSERT_TRUE(Click(controls[kButton1]));
    ASSERT_TRUE(SucceedsWithin(30000));
    EXPECT_FALSE(IsWindowEnabled(controls[kButton1]));
    EXPECT_EQ(FindTopWindow(program->Id(), L"#32770"), nullptr);

    EXPECT_EQ(ReadWholeFile(staging + L"TOVRA_SETUP.EXE"), ReadWholeFile(folder.Path() + L"TOVRA.EXB"));
    for (const wchar_t* name : {L"TOVRA.INF", L"TOVRAWDM.SYS", L"TOVRA.DLL"})
        EXPECT_EQ(ReadWholeFile(staging + name), ReadWholeFile(folder.Path() + name));
    ASSERT_TRUE(WaitForFile(staging + L"setup.log", 10000));
    const std::string log = ReadWholeFile(staging + L"setup.log");
    EXPECT_NE(log.find("TOVRA_SETUP.EXE\" /S\t"), std::string::npos) << log;
    EXPECT_NE(log.find("\\tovra_driver\t0\t" + Narrow(staging) + "~temp.1\n"), std::string::npos) << log;

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
    CopyFileW((StandInPackage() + L"TOVRA.DLL").c_str(), (folder.Path() + L"TOVRA.DLL").c_str(), FALSE);
    ASSERT_TRUE(Click(controls[kButton1]));
    EXPECT_TRUE(SucceedsWithin(30000));
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

TEST_F(ProgramTest, WhileTheSetupRunsTheWindowWaitsAndAnswers)
{
    const ScopedVariable sleep(L"TOVRA_STANDIN_SLEEP_MS", L"5000");
    Start();
    ASSERT_TRUE(Click(controls[kButton1]));
    ASSERT_TRUE(WaitForFile(staging + L"setup.log", 30000)) << "the setup did not start";
    Sleep(1500);
    ASSERT_FALSE(PathExists(staging + L"setup.done")) << "the setup ended too soon to see the wait";
    ExpectWaiting();
    ASSERT_TRUE(SucceedsWithin(30000));
    EXPECT_TRUE(PathExists(staging + L"setup.done")) << "success before the setup ended";
    EXPECT_FALSE(IsWindowEnabled(controls[kButton1]));
    ExitWithCodeZero();
}

TEST_F(ProgramTest, ExitWhileTheSetupRunsEndsAtOnceAndLeavesTheSetupRunning)
{
    const HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, L"TovraStandInSetupHold");
    Start();
    ASSERT_TRUE(Click(controls[kButton1]));
    ASSERT_TRUE(WaitForFile(staging + L"setup.log", 30000));
    ExpectWaiting();
    const DWORD before = GetTickCount();
    ASSERT_TRUE(Click(controls[kButton2]));
    EXPECT_EQ(program->WaitForExit(5000), 0u);
    EXPECT_LT(GetTickCount() - before, 2000u) << "the exit waited for the setup";
    EXPECT_TRUE(IsProcessRunning(L"TOVRA_SETUP.EXE"));
    SetEvent(hold);
    EXPECT_TRUE(WaitUntil([] { return !IsProcessRunning(L"TOVRA_SETUP.EXE"); }, 10000));
    CloseHandle(hold);
}

// What the window says when the setup's outcome is not success: a box naming why, no
// label, and the button back for another try.
struct FailedOutcome {
    const char* name;
    const wchar_t* variable;
    const wchar_t* value;
    const wchar_t* message;
};

class FailedOutcomeTest : public ProgramTest, public ::testing::WithParamInterface<FailedOutcome> { };

TEST_P(FailedOutcomeTest, IsToldAndTheButtonComesBack)
{
    const ScopedVariable cause(GetParam().variable, GetParam().value);
    Start();
    ASSERT_TRUE(Click(controls[kButton1]));
    EXPECT_EQ(AnswerMessageBox(), GetParam().message);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(controls[kButton1]) != FALSE; }, 5000));
    ExpectNotSucceeded();
    ExitWithCodeZero();
}
INSTANTIATE_TEST_SUITE_P(ProgramTest, FailedOutcomeTest,
    ::testing::Values(FailedOutcome{"SetupFailed", L"TOVRA_STANDIN_EXIT_CODE", L"1603",
                          L"驱动安装程序执行失败(返回代码 1603)，驱动安装无法继续!"},
        FailedOutcome{"NotInTheDriverStore", L"TOVRA_STANDIN_NO_STORE", L"1",
            L"驱动安装程序已结束，但驱动程序包未添加到驱动程序存储中，驱动安装无法继续!"}),
    [](const ::testing::TestParamInfo<FailedOutcome>& info) { return std::string(info.param.name); });

TEST_F(ProgramTest, RestartRequestFollowsTheSuccessLabel)
{
    const ScopedVariable code(L"TOVRA_STANDIN_EXIT_CODE", L"3010");
    Start();
    ASSERT_TRUE(Click(controls[kButton1]));
    const HWND box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(IsWindowVisible(controls[kLabel8])) << "the box came before the label";
    EXPECT_EQ(WindowText(box), kCaption);
    EXPECT_EQ(MessageBoxText(box), L"预装成功，请重新启动计算机后再将读写器插到电脑上。");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(InDriverStore());
    ExitWithCodeZero();
}

TEST_F(ProgramTest, PackageWithoutModelsForThisWindowsIsRefusedBeforeAnythingIsStaged)
{
    // Both Wines report a 64-bit Windows, for either build.
    const std::string inf = ReadWholeFile(folder.Path() + L"TOVRA.INF");
    const std::string x86Only = "%Vendor%=Models,NTx86\r\n";
    WriteWholeFile(folder.Path() + L"TOVRA.INF",
        inf.substr(0, inf.find("%Vendor%=Models,")) + x86Only + inf.substr(inf.find("\n", inf.find("%Vendor%=")) + 1));
    Start();
    ASSERT_TRUE(Click(controls[kButton1]));
    EXPECT_EQ(AnswerMessageBox(), L"TOVRA.INF文件中没有适用于本机Windows(64位)的驱动程序，驱动安装无法继续!");
    EXPECT_FALSE(PathExists(staging));
    ExpectNotSucceeded();

    WriteWholeFile(folder.Path() + L"TOVRA.INF", "this is not an INF file");
    ASSERT_TRUE(Click(controls[kButton1]));
    const std::wstring unreadable = AnswerMessageBox();
    EXPECT_EQ(unreadable.rfind(L"无法读取TOVRA.INF文件，驱动安装无法继续!\n错误代码 ", 0), 0u) << Narrow(unreadable);
    EXPECT_FALSE(PathExists(staging));
    ExpectNotSucceeded();
    ExitWithCodeZero();
}

TEST_F(ProgramTest, StagingPathThatIsALinkIsToldInABoxAndNothingIsWritten)
{
    const std::wstring elsewhere = folder.Path() + L"elsewhere\\";
    ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
    MakeFolderLink(staging.substr(0, staging.size() - 1), elsewhere.substr(0, elsewhere.size() - 1));
    Start();
    ASSERT_TRUE(Click(controls[kButton1]));
    const std::wstring text = AnswerMessageBox();
    EXPECT_EQ(text.rfind(L"目录" + WindowsDirectory() +
                      L"\\tovra_driver是一个链接，不能向其中复制文件，驱动安装无法继续!\n"
                      L"错误代码 4395",
                  0),
        0u)
        << Narrow(text);
    EXPECT_TRUE(FolderSnapshot(elsewhere).empty());
    ExpectNotSucceeded();
    ExitWithCodeZero();
}

TEST_F(ProgramTest, SetupOfAnotherSha256IsToldInABoxAndTheButtonComesBack)
{
    std::wstring other = Sha256OfFile(folder.Path() + L"TOVRA.EXB");
    other[5] = other[5] == L'A' ? L'B' : L'A';
    Start(folder.Path(), folder.Path(), nullptr, L"/SETUPSHA256=" + other);
    ASSERT_TRUE(Click(controls[kButton1]));
    EXPECT_EQ(AnswerMessageBox(), L"TOVRA.EXB文件与指定的SHA-256校验值不符，驱动安装无法继续!");
    EXPECT_FALSE(PathExists(staging + L"setup.log")) << "the setup was started";
    ExpectNotSucceeded();
    ExitWithCodeZero();
}

TEST_F(ProgramTest, StartUpFailureIsShownWithoutAWindowAndExitsZero)
{
    // Each defect of the form description, and what the error box must name.
    const std::pair<const wchar_t*, const wchar_t*> defects[] = {
        {L"", L"no component \"Label8\""},
        {L"click-on-label", L"\"Label4\" of form TForm1 has an OnClick event but is not a button"},
        {L"tab-order", L"\"Button2\" of form TForm1 has a tab order the window cannot follow"},
    };
    CopyTestFile(VariantProgram(L"preinstall_broken_form.exe"), folder.Path() + L"broken.exe");
    for (const auto& [defect, named] : defects) {
        SCOPED_TRACE(Narrow(defect));
        const ScopedVariable chosen(L"PREINSTALL_FORM_DEFECT", defect);
        program = std::make_unique<RunningProgram>(folder.Path() + L"broken.exe", folder.Path());
        const HWND box = WaitForMessageBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(WindowText(box), kCaption); // the application's title
        EXPECT_NE(MessageBoxText(box).find(named), std::wstring::npos) << Narrow(MessageBoxText(box));
        EXPECT_EQ(FindTopWindow(program->Id(), L"TForm1"), nullptr);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        ExpectExitCodeZero();
    }
}

TEST_F(ProgramTest, ForeignExceptionAtStartUpShowsAnEmptyErrorAndExitsZero)
{
    CopyTestFile(VariantProgram(L"preinstall_foreign_exception.exe"), folder.Path() + L"throws.exe");
    program = std::make_unique<RunningProgram>(folder.Path() + L"throws.exe", folder.Path());
    const HWND box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), kCaption);
    EXPECT_EQ(MessageBoxText(box), L"") << "the message of a foreign exception is not shown";
    EXPECT_EQ(FindTopWindow(program->Id(), L"TForm1"), nullptr);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ExpectExitCodeZero();
}

} // namespace
