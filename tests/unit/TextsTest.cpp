// Every text the user can see must exist in code page 936 (GBK), the code page the
// program's users run; texts are kept in UTF-8 and converted only at the Windows border.
#include "shell/CommandLine.h"
#include "staging/DriverPackage.h"
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

std::vector<std::string> StagingTexts()
{
    std::vector<std::string> texts = {kWarningCaption, kWindowsDirectoryFailedMessage,
        CreateDirectoryFailedMessage("C:\\WINDOWS\\tovra_driver"), LaunchFailedMessage(), UsageText(),
        UnknownSwitchText("/X"), SetupStillRunningLogLine()};
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

TEST(Texts, StagingTextsAreAllGbk)
{
    for (const auto& text : StagingTexts())
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
