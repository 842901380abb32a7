// The package in a folder with a Chinese name on a system whose code page is not 936:
// texts and paths go through the W calls, so neither depends on the code page.
#include "tests/win/ProgramFixture.h"

namespace {

class NonChineseSystem : public ProgramTest { };

TEST_F(NonChineseSystem, ChineseFolderWorksAndMessagesReadRight)
{
    ASSERT_EQ(GetACP(), 1252u) << "this test must run with a Western European code page";
    const std::wstring chinese = folder.Path() + L"读写器驱动\\";
    ASSERT_TRUE(CreateDirectoryW(chinese.c_str(), nullptr));
    PlaceProgramIn(chinese);
    DeleteFileW((chinese + L"TOVRA.DLL").c_str());
    Start(chinese, chinese);
    EXPECT_EQ(WindowText(window), kCaption);
    EXPECT_EQ(WindowText(controls[kButton1]), L"预装驱动");

    ASSERT_TRUE(Click(controls[kButton1]));
    EXPECT_EQ(AnswerMessageBox(), L"无法在当前目录下找到TOVRA.DLL文件，驱动安装无法继续!");
    CopyTestFile(StandInPackage() + L"TOVRA.DLL", chinese + L"TOVRA.DLL");

    ASSERT_TRUE(Click(controls[kButton1]));
    ASSERT_TRUE(SucceedsWithin(30000));
    EXPECT_EQ(ReadWholeFile(staging + L"TOVRA.DLL"), ReadWholeFile(chinese + L"TOVRA.DLL"));
    ExitWithCodeZero();
}

} // namespace
