#include "shell/CommandLine.h"

#include "staging/Ascii.h"
#include "staging/DriverPackage.h"

#include <optional>

namespace {

bool IsBlank(char character)
{
    return character == ' ' || character == '\t';
}

// The program's own name: up to the first blank, or between quotes, with no escapes.
std::string ReadProgramName(const std::string& line, std::size_t& position)
{
    if (line.empty() || line[0] != '"') {
        while (position < line.size() && !IsBlank(line[position]))
            ++position;
        return line.substr(0, position);
    }
    const std::size_t close = line.find('"', 1);
    position = close == std::string::npos ? line.size() : close + 1;
    return line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
}

// One argument from `position`: quotes group blanks and are dropped; 2n backslashes before
// a quote give n and the quote groups, 2n+1 give n and a literal quote; others are literal.
std::string ReadArgument(const std::string& line, std::size_t& position)
{
    std::string argument;
    bool quoted = false;
    while (position < line.size() && (quoted || !IsBlank(line[position]))) {
        const char character = line[position];
        if (character == '\\') {
            const std::size_t end = line.find_first_not_of('\\', position);
            const std::size_t count = (end == std::string::npos ? line.size() : end) - position;
            position += count;
            const bool beforeQuote = position < line.size() && line[position] == '"';
            argument.append(beforeQuote ? count / 2 : count, '\\');
            if (beforeQuote && count % 2 == 1) {
                argument += '"';
                ++position;
            }
        } else if (character == '"') {
            if (quoted && position + 1 < line.size() && line[position + 1] == '"') {
                argument += '"'; // "" inside quotes is one literal quote
                position += 2;
            } else {
                quoted = !quoted;
                ++position;
            }
        } else {
            argument += character;
            ++position;
        }
    }
    return argument;
}

// A number of seconds from 1 to the longest timeout, in plain decimal digits.
std::optional<unsigned long> ReadTimeoutSeconds(const std::string& digits)
{
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    unsigned long seconds = 0;
    for (const char digit : digits)
        seconds = seconds * 10 + static_cast<unsigned long>(digit - '0');
    if (seconds < 1 || seconds > kLongestSetupTimeoutSeconds)
        return std::nullopt;
    return seconds;
}

// A SHA-256 as 64 hexadecimal digits in either case, in lower case.
std::optional<std::string> ReadSha256(const std::string& digits)
{
    if (digits.size() != 64 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return std::nullopt;
    return LowerAscii(digits);
}

// The usage box's line of each switch is short: a narrow message box wraps a long one.
constexpr CommandLineSwitch kSwitches[] = {
    {{"S", "Q"}, nullptr, nullptr,
        [](CommandLineRequest& request, const std::string&) {
            request.silent = true;
            return true;
        },
        "静默预装，无窗口，以退出代码报告",
        "unattended: no window, waits for the setup and its package, ends in an exit code"},
    {{"TIMEOUT"}, "秒", "SECONDS",
        [](CommandLineRequest& request, const std::string& value) {
            const std::optional<unsigned long> seconds = ReadTimeoutSeconds(value);
            request.setupTimeoutSeconds = seconds.value_or(request.setupTimeoutSeconds);
            return seconds.has_value();
        },
        "等待上限，默认1800", "how long /S waits for the setup (1 to 86400, default 1800)"},
    {{"SETUPSHA256"}, "校验值", "HEX",
        [](CommandLineRequest& request, const std::string& value) {
            const std::optional<std::string> sha256 = ReadSha256(value);
            request.setupSha256 = sha256.value_or(request.setupSha256);
            return sha256.has_value();
        },
        "TOVRA.EXB的SHA-256", "start only a setup with this SHA-256"},
    {{"NOARP"}, nullptr, nullptr,
        [](CommandLineRequest& request, const std::string&) {
            request.programsEntry = false;
            return true;
        },
        "不在“程序和功能”中写入条目", "no Programs and Features entry"},
    {{"UNINSTALL"}, nullptr, nullptr,
        [](CommandLineRequest& request, const std::string&) {
            request.uninstall = true;
            return true;
        },
        "卸载驱动程序包和暂存文件", "remove the driver-store copy, the staged files, the entry and the marker"},
    {{"LOG"}, "文件", "FILE",
        [](CommandLineRequest& request, const std::string& value) {
            request.logPath = value;
            return true;
        },
        "把每一步记录到该文件", "one line per step, the result last"},
    {{"?", "H", "HELP"}, nullptr, nullptr,
        [](CommandLineRequest& request, const std::string&) {
            request.help = true;
            return true;
        },
        "显示本说明", "the usage box"},
};

// Carries out the switch `argument` names ("/" or "-" and its name, any case); false for a
// switch the table does not have, or a value it does not take.
bool ApplySwitch(CommandLineRequest& request, const std::string& argument)
{
    const std::string name = UpperAscii(argument.substr(1));
    for (const CommandLineSwitch& item : kSwitches)
        for (const char* switchName : item.names) {
            if (!switchName)
                continue;
            if (!item.chineseValue && name == switchName)
                return item.apply(request, "");
            // A switch with a value needs one; the value keeps its case.
            const std::string prefix = std::string(switchName) + "=";
            if (item.chineseValue && name.size() > prefix.size() && name.rfind(prefix, 0) == 0)
                return item.apply(request, argument.substr(1 + prefix.size()));
        }
    return false;
}

} // namespace

std::span<const CommandLineSwitch> CommandLineSwitches()
{
    return kSwitches;
}

std::string SwitchText(const CommandLineSwitch& item, const char* name, bool english)
{
    const char* value = english ? item.englishValue : item.chineseValue;
    return std::string("/") + name + (value ? std::string("=") + value : std::string());
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine)
{
    std::size_t position = 0;
    std::vector<std::string> arguments{ReadProgramName(commandLine, position)};
    for (;;) {
        while (position < commandLine.size() && IsBlank(commandLine[position]))
            ++position;
        if (position >= commandLine.size())
            return arguments;
        arguments.push_back(ReadArgument(commandLine, position));
    }
}

std::string ArgumentsOf(const std::string& commandLine)
{
    std::size_t position = 0;
    ReadProgramName(commandLine, position);
    const std::size_t start = commandLine.find_first_not_of(" \t", position);
    return start == std::string::npos ? std::string() : commandLine.substr(start);
}

CommandLineRequest ParseArguments(const std::vector<std::string>& arguments)
{
    CommandLineRequest request;
    for (const std::string& argument : arguments) {
        if (argument.empty() || (argument[0] != '/' && argument[0] != '-'))
            continue;
        if (!ApplySwitch(request, argument) && request.unknownSwitch.empty())
            request.unknownSwitch = argument;
    }
    return request;
}

std::optional<StoreHelperRequest> ParseStoreHelperArguments(const std::vector<std::string>& arguments)
{
    const bool force = arguments.size() == 3 && arguments[2] == kStoreHelperForceSwitch;
    if ((arguments.size() != 2 && !force) || arguments[0] != kStoreHelperRemoveSwitch)
        return std::nullopt;
    const std::string& name = arguments[1];
    if (name.size() <= 4 || !EndsWithIgnoringAsciiCase(name, ".inf") || name.find_first_of("\\/:") != std::string::npos)
        return std::nullopt;
    return StoreHelperRequest{name, force};
}
