// Starts the real program from a scratch folder holding the stand-in package, and finds
// its window and controls. Expectations are at 96 dots per inch and scaled to the
// screen's, which must be EXPECTED_DPI.
#pragma once

#include "tests/win/WinTestSupport.h"
#include "tests/win/WindowProbe.h"
#include "win32/Processes.h"
#include "win32/Text.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

#ifndef EXPECTED_DPI
#define EXPECTED_DPI 96
#endif

inline const std::wstring kCaption = L"IC卡读写器USB程序安装";
inline const std::wstring kWarning = L"警告";

struct ExpectedControl {
    const wchar_t* className;
    const wchar_t* text;
    RECT rect; // left, top, right, bottom in the client area at 96 dots per inch
    bool visible;
    BYTE charset;
};

// In creation order.
inline const ExpectedControl kExpectedControls[] = {
    {L"Static", L"必遵循以下步骤才能完成安装过程:", {8, 8, 256, 24}, true, GB2312_CHARSET},
    {L"Static", L"(1)  如果读写器已连上电脑，请取出，让读写器与电脑分离，", {36, 36, 476, 52}, true, ANSI_CHARSET},
    {L"Static", L"(2)  将读写器插到电脑上，如果是WIN2000操作系统则不会出现", {36, 104, 484, 120}, true, ANSI_CHARSET},
    {L"Static", L"预装硬件设备的驱动信息，请点击", {76, 64, 316, 80}, true, ANSI_CHARSET},
    {L"Static", L"任何提示画面而自动安装成功。", {76, 128, 300, 144}, true, ANSI_CHARSET},
    {L"Static", L"预装成功!", {415, 64, 487, 80}, false, ANSI_CHARSET},
    {L"Static", L"如果是WINXP系统则会弹出[发现新的硬件安装向导]，", {74, 152, 495, 168}, true, ANSI_CHARSET},
    {L"Static", L"选择\"否，暂时不\"连接到Windows Update搜索软件,弹出下一画面，", {74, 172, 539, 188}, true,
        ANSI_CHARSET},
    {L"Static", L"选择\"自动安装软件\"，并一直点击[下一步]就可成功安装。", {74, 192, 495, 208}, true, ANSI_CHARSET},
    {L"Button", L"预装驱动", {320, 60, 409, 89}, true, ANSI_CHARSET},
    {L"Button", L"退出", {408, 216, 509, 245}, true, ANSI_CHARSET},
};
inline constexpr std::size_t kLabel8 = 5;
inline constexpr std::size_t kButton1 = 9;
inline constexpr std::size_t kButton2 = 10;

inline int Scaled(int pixelsAt96)
{
    return MulDiv(pixelsAt96, EXPECTED_DPI, 96);
}

// Every file of a folder (not its subfolders) with its bytes and attributes.
inline std::map<std::wstring, std::pair<std::string, DWORD>> FolderSnapshot(const std::wstring& folder)
{
    std::map<std::wstring, std::pair<std::string, DWORD>> files;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            files[found.cFileName] = {ReadWholeFile(folder + found.cFileName), found.dwFileAttributes};
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return files;
}

class ProgramTest : public ::testing::Test {
protected:
    ScratchFolder folder{L"program_run"};
    const std::wstring staging = WindowsDirectory() + L"\\tovra_driver\\";

    void SetUp() override
    {
        SetProcessDPIAware(); // see the real pixels, as the program does
        ClearStaging();
        DeleteFileW((WindowsDirectory() + L"\\tovra_driver").c_str());
        ASSERT_FALSE(PathExists(WindowsDirectory() + L"\\tovra_driver"))
            << "staging left over" << (IsProcessRunning(L"TOVRA_SETUP.EXE") ? ": an earlier setup still runs" : "");
        PlaceProgramIn(folder.Path());
    }
    void TearDown() override
    {
        program.reset();
        ClearStaging();
    }
    // A setup program started by an earlier run may still hold its staged copy open. What
    // the stand-in setups added to the driver store goes too, so that each test starts
    // with the package not in the store.
    void ClearStaging()
    {
        WaitUntil([] { return !IsProcessRunning(L"TOVRA_SETUP.EXE"); }, 10000);
        const std::wstring stagingPath = staging.substr(0, staging.size() - 1);
        if (IsLink(stagingPath))
            RemoveFolderLink(stagingPath); // never what it points to
        RemoveTree(staging);
        RemoveFromDriverStore(ReadWholeFile(StandInPackage() + L"TOVRA.INF"));
        if (PathExists(folder.Path() + L"TOVRA.INF"))
            RemoveFromDriverStore(ReadWholeFile(folder.Path() + L"TOVRA.INF"));
    }
    bool InDriverStore() const { return !DriverStoreCopiesOf(ReadWholeFile(folder.Path() + L"TOVRA.INF")).empty(); }

    static void PlaceProgramIn(const std::wstring& where)
    {
        CopyStandInPackage(where);
        CopyTestFile(BuildUnderTest() + L"preinstall.exe", where + L"preinstall.exe");
        if (PathExists(BuildUnderTest() + kStoreHelper)) // as the release places it
            CopyTestFile(BuildUnderTest() + kStoreHelper, where + kStoreHelper);
    }

    // Starts the program and finds its window and controls.
    void Start(const std::wstring& programFolder, const std::wstring& workingDirectory,
        const wchar_t* environment = nullptr, const std::wstring& arguments = L"")
    {
        program = std::make_unique<RunningProgram>(
            programFolder + L"preinstall.exe", workingDirectory, environment, arguments);
        window = WaitForTopWindow(program->Id(), L"TForm1", 60000);
        ASSERT_NE(window, nullptr) << "no main window";
        controls = ChildWindows(window);
        ASSERT_EQ(controls.size(), std::size(kExpectedControls));
    }
    void Start() { Start(folder.Path(), folder.Path()); }

    HWND WaitForMessageBox() { return WaitForTopWindow(program->Id(), L"#32770", 30000); }
    // Reads the message box the program shows, answers it, and returns its text.
    std::wstring AnswerMessageBox()
    {
        const HWND box = WaitForMessageBox();
        if (box == nullptr)
            return L"(no message box)";
        EXPECT_EQ(WindowText(box), kWarning);
        const std::wstring text = MessageBoxText(box);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntil([&] { return FindTopWindow(program->Id(), L"#32770") == nullptr; }, 5000));
        return text;
    }
    // The success label shows within the time; otherwise says what the window shows instead.
    ::testing::AssertionResult SucceedsWithin(unsigned milliseconds)
    {
        if (WaitUntil([&] { return IsWindowVisible(controls[kLabel8]) != FALSE; }, milliseconds))
            return ::testing::AssertionSuccess();
        const HWND box = FindTopWindow(program->Id(), L"#32770");
        const std::wstring text = box != nullptr ? MessageBoxText(box) : L"(no message box)";
        return ::testing::AssertionFailure() << "no success; message box: " << Narrow(text);
    }
    void ExpectNotSucceeded()
    {
        EXPECT_TRUE(IsWindowEnabled(controls[kButton1]));
        EXPECT_FALSE(IsWindowVisible(controls[kLabel8]));
    }
    // Still waiting for the setup: the button disabled, no label, and the window answering.
    void ExpectWaiting()
    {
        EXPECT_FALSE(IsWindowEnabled(controls[kButton1]));
        EXPECT_FALSE(IsWindowVisible(controls[kLabel8]));
        DWORD_PTR result = 0;
        const DWORD before = GetTickCount();
        EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result), 0)
            << "the window does not answer while the setup runs";
        EXPECT_LT(GetTickCount() - before, 1000u);
    }
    void ExpectExitCodeZero() { EXPECT_EQ(program->WaitForExit(30000), 0u); }
    void ExitWithCodeZero()
    {
        ASSERT_TRUE(Click(controls[kButton2]));
        ExpectExitCodeZero();
    }

    std::unique_ptr<RunningProgram> program;
    HWND window = nullptr;
    std::vector<HWND> controls;
};
