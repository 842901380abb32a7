// Every text the user can see must exist in code page 936 (GBK), the code page the
// program's users run; texts are kept in UTF-8 and converted only at the Windows border.
#include "staging/Texts.h"
#include "resources/ProductName.h"
#include "shell/ShellTexts.h"
#include "ui/Unit1Form.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <vector>

namespace {

std::optional<std::string> ToGbk(const std::string& utf8)
{
    iconv_t converter = iconv_open("CP936", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string input = utf8;
    std::string output(utf8.size() * 2 + 4, '\0');
    char* in = input.data();
    char* out = output.data();
    size_t inLeft = input.size();
    size_t outLeft = output.size();
    const size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1))
        return std::nullopt;
    output.resize(output.size() - outLeft);
    return output;
}

// Every text of the procedures, the deployment rules and the command line, with sample
// paths and codes: box texts and log lines alike reach a user or an administrator.
std::vector<std::string> ProgramTexts()
{
    const std::string folder = "C:\\WINDOWS\\tovra_driver";
    const std::string error = "错误代码 5: 拒绝访问。";
    const RunningWindows windows{"amd64", 6, 1, 7601, 1, 0x100};
    const RunningWindows server{"amd64", 10, 0, 17763, 3, 0x110};
    const RunSummary summary{0, 0, "oem7.inf", "12/08/2026,1.0.0.0", 3, "1.2.0", "C:\\日志\\预装.log"};
    const RunSummary restart{3010, 3010, "oem7.inf", "", 1, "1.2.0", ""};
    std::vector<std::string> texts = {PRODUCT_NAME, kWarningCaption, kWindowsDirectoryFailedMessage,
        CreateDirectoryFailedMessage(folder), LaunchFailedMessage(), PackageDirectoryLine(folder),
        FileCheckedLine(folder, true), FileCheckedLine(folder, false), WindowsDirectoryLine(folder),
        StagingDirectoryLine(folder, true), StagingDirectoryLine(folder, false), CopiedLine(folder, folder, 1),
        CopiedLine(folder, folder, std::nullopt), CopyFailedLine(folder, folder, error), SetupStartedLine(folder, 1),
        SetupInOwnJobLine(), SetupBrokeAwayLine(error), SetupWithoutJobLine(error, error), SetupExitLine(1),
        WaitFailedLine(error), SetupTimedOutLine(1, JobRoute::OwnJob), SetupTimedOutLine(1, JobRoute::NoJob),
        MessageLine(kWarningCaption, "x"), ResultLine(summary, ""), ResultLine(restart, ""),
        ResultLine(RunSummary{}, error), kUndecoratedTarget, ModelTargetsLine({}, windows),
        ModelTargetsLine({"NTamd64.10.0...17763"}, server), NoFittingModelsLine("amd64"),
        NoModelsForThisVersionLine(windows), NoDriverForThisVersionMessage({"NTamd64.10.0...17763"}, server),
        WaitingWithoutJobLine(), StillWaitingLine(60, 1740), StillWaitingLine(60, std::nullopt),
        RemovedAtRestartLine(folder), LeftForTheNextRunLine(folder), InfUnreadableLine(folder, error),
        UninstallWindowsDirectoryLine(folder), WindowsDirectoryUnreadableLine(error), StagingKeptLine(folder),
        NoStagedInfLine(folder), FolderUnlistableLine(folder, error), StoreRemovalFailedLine(folder, error),
        StoreRemovedLine(folder), StoreCopyRemovedItem("oem7.inf"), NoStoreCopyToRemoveLine(),
        FileRemovalFailedLine(folder, error), LinkRemovedLine(folder), FolderRemovalFailedLine(folder, error),
        NoStagingFolderLine(folder), StagingPathIsAFileLine(folder), LinkRemovalFailedLine(folder, error),
        StagingLinkRemovedLine(folder), StagingLinkRemovedItem(folder), StagingFolderRemovedLine(folder, 3, 0, false),
        StagingFolderRemovedItem(folder, 3, 2, true), TakenModelsSectionLine("Models", "Models.NTx86", 2),
        NoModelsSectionTakenLine("Models"), NothingToUninstallText(), UninstalledText({"x"}), AlreadyRunningLine(),
        SetupStillRunningLine(1, folder), SetupStillRunningLine(1, ""), LockFailedLine(error), MarkerFailedLine(error),
        MarkerRemovedLine(), MarkerRemovedItem(), MarkerKeptLine(), UnexpectedErrorLine("x"), UsageText(),
        UnknownSwitchText("/X"), CommandLineLogLine("preinstall.exe /S"), InfUnreadableMessage(),
        SetupFailedMessage(1603), NotInDriverStoreMessage(), WaitFailedMessage(), RestartNeededMessage(),
        SetupFailedLine(1603), StoreCopyFoundLine(folder), WaitingForStartedProcessesLine(),
        PackageNotInStoreLine(NotInStoreReason::StartedProcessesEnded),
        PackageNotInStoreLine(NotInStoreReason::TimeIsUpWithoutJob), PackageNotInStoreLine(NotInStoreReason::TimeIsUp),
        WindowClosedWhileWaitingLine(), StagingIsLinkMessage(folder), ProtectFolderFailedMessage(folder),
        SetupUnhashableMessage(), SetupHashMismatchMessage(), SetupHashLine(folder, "ab", "cd"),
        StoreCopyStayedLine(folder, error), RecordedCopyNotOursLine(folder), ReaderConnectedMessage(),
        ReaderConnectedLine(folder, 1), NoDevicePresentLine(folder, 2), DevicesUnknownLine("oem7.inf", error),
        NoSha256Text(), ExitCodeMeaning(RunKind::Install, 112, error), KeptCopyGoneLine(folder),
        RestartRequestedLine(3010), ProgramNotStartedLine(InstallerAction::Install, folder, error)};
    for (const InstallerAction action :
        {InstallerAction::Install, InstallerAction::Rollback, InstallerAction::Uninstall})
        texts.push_back(ProgramEndedLine(action, folder, "/S /NOARP", 0xE0000247, "", false));
    for (const char* architecture : {"x86", "amd64", "arm64", "ia64"})
        texts.push_back(NoFittingDriverMessage(architecture));
    for (const auto& file : kDriverPackage) {
        texts.push_back(file.missingMessage);
        texts.push_back(CopyFailedMessage(file));
    }
    return texts;
}

} // namespace

TEST(Texts, ConverterRejectsWhatGbkCannotHold)
{
    EXPECT_FALSE(ToGbk("\xF0\x9F\x98\x80").has_value()); // an emoji
    EXPECT_EQ(ToGbk("警告"), std::optional<std::string>("\xBE\xAF\xB8\xE6"));
}

TEST(Texts, ProgramTextsAreAllGbk)
{
    for (const auto& text : ProgramTexts())
        EXPECT_TRUE(ToGbk(text).has_value()) << text;
}

TEST(Texts, WindowTextsAreAllGbk)
{
    const FormDescription& form = TForm1Description();
    EXPECT_TRUE(ToGbk(form.caption).has_value());
    for (const auto& component : form.components)
        EXPECT_TRUE(ToGbk(component.caption).has_value()) << component.name;
}

TEST(Texts, MessagesUseTheFullWidthCommaAndAsciiExclamation)
{
    for (const auto& file : kDriverPackage) {
        const auto gbk = ToGbk(file.missingMessage);
        ASSERT_TRUE(gbk.has_value());
        EXPECT_NE(gbk->find("\xA3\xAC"), std::string::npos) << file.missingMessage;
        EXPECT_EQ(gbk->back(), '!');
    }
    const auto windowsFailure = ToGbk(kWindowsDirectoryFailedMessage);
    ASSERT_TRUE(windowsFailure.has_value());
    EXPECT_EQ(*windowsFailure,
        "\xBC\xD3\xD4\xD8\xCF\xB5\xCD\xB3\xC4\xBF\xC2\xBC\xCA\xA7\xB0\xDC\xA3\xAC"
        "\xC7\xEB\xD6\xD8\xD0\xC2[\xD4\xA4\xD7\xB0\xB3\xCC\xD0\xF2]!");
}

// Windows keeps SetupAPI's texts under HRESULT_FROM_SETUPAPI; other codes have none there.
TEST(SetupApiHresult, IsTheFacility15FormOfSetupApisOwnCodesOnly)
{
    EXPECT_EQ(SetupApiHresult(kErrorDriverStoreAddFailed), 0x800F0247u);
    EXPECT_EQ(SetupApiHresult(kErrorInfInUseByDevices), 0x800F023Du);
    EXPECT_EQ(SetupApiHresult(0xE0000000), 0x800F0000u); // ERROR_EXPECTED_SECTION_NAME
    EXPECT_EQ(SetupApiHresult(5), std::nullopt);
    EXPECT_EQ(SetupApiHresult(0xC0000005), std::nullopt);
}
