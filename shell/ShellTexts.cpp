#include "shell/ShellTexts.h"

#include "shell/CommandLine.h"
#include "staging/ExitCodes.h"

namespace {

// Where the meanings of the codes start: at the second tab stop.
constexpr int kCodeColumnTabStops = 2;

// One line per code of `kind`'s runs: the code, tabs to the column, its meaning.
std::string CodeLines(RunKind kind)
{
    std::string lines;
    for (const ExitCodeRow& row : ExitCodeTable()) {
        if (!ListedUnder(row, kind))
            continue;
        const std::string code = ExitCodeText(row.code);
        const int tabStopsPassed = static_cast<int>(EstimatedWidth(code).most) / kTabStopWidth;
        lines += "\n" + code + std::string(static_cast<std::size_t>(kCodeColumnTabStops - tabStopsPassed), '\t') +
            row.chinese;
    }
    return lines;
}

} // namespace

TextWidth EstimatedWidth(const std::string& text)
{
    TextWidth width{0, 0};
    const auto add = [&width](double least, double most) {
        width.least += least;
        width.most += most;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char character = text[i];
        if (static_cast<unsigned char>(character) >= 0xE0) {
            add(1.65, 2.45); // a Chinese character or full-width sign, three bytes of UTF-8
            i += 2;
        } else if (character >= '0' && character <= '9')
            add(0.95, 1.3);
        else if (character >= 'A' && character <= 'Z')
            add(0.95, 1.5);
        else if (character >= 'a' && character <= 'z')
            add(0.7, 1.3);
        else
            add(0.45, 1.4);
    }
    return width;
}

std::string UsageText()
{
    // Short lines: a message box may be narrow, and wraps a long one. The codes' meanings
    // start at a tab stop, which a message box places every eight average character widths.
    std::string text = "用法：preinstall.exe [参数]，无参数时显示窗口";
    for (const CommandLineSwitch& item : CommandLineSwitches()) {
        text += "\n";
        for (const char* name : item.names)
            if (name)
                text += (name != item.names[0] ? " 或 " : "") + SwitchText(item, name);
        text += std::string("：") + item.chinese;
    }
    text += "\n\n静默预装的退出代码：" + CodeLines(RunKind::Install);
    text += "\n\n卸载（/UNINSTALL）的退出代码：" + CodeLines(RunKind::Uninstall);
    return text;
}

std::string UnknownSwitchText(const std::string& unknownSwitch)
{
    return "无法识别的参数：" + unknownSwitch;
}

std::string NoSha256Text()
{
    return "本系统无法计算SHA-256校验值（需要Windows XP SP3或更高版本），"
           "不能使用/SETUPSHA256参数，驱动安装无法继续!";
}

std::string CommandLineLogLine(const std::string& commandLine)
{
    return "命令行: " + commandLine;
}
