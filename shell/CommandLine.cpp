#include "shell/CommandLine.h"

#include <optional>

namespace {

bool IsBlank(char character)
{
    return character == ' ' || character == '\t';
}

std::string UpperAscii(std::string text)
{
    for (char& character : text)
        if (character >= 'a' && character <= 'z')
            character = static_cast<char>(character - 'a' + 'A');
    return text;
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

} // namespace

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

CommandLineRequest ParseArguments(const std::vector<std::string>& arguments)
{
    CommandLineRequest request;
    const std::string logSwitch = "LOG=";
    const std::string timeoutSwitch = "TIMEOUT=";
    for (const std::string& argument : arguments) {
        if (argument.empty() || (argument[0] != '/' && argument[0] != '-'))
            continue;
        const std::string name = UpperAscii(argument.substr(1));
        std::optional<unsigned long> timeout;
        if (name == "S" || name == "Q")
            request.silent = true;
        else if (name == "?" || name == "H" || name == "HELP")
            request.help = true;
        else if (name == "UNINSTALL")
            request.uninstall = true;
        else if (name.rfind(logSwitch, 0) == 0 && name.size() > logSwitch.size())
            request.logPath = argument.substr(1 + logSwitch.size());
        else if (name.rfind(timeoutSwitch, 0) == 0 && (timeout = ReadTimeoutSeconds(name.substr(timeoutSwitch.size()))))
            request.setupTimeoutSeconds = *timeout;
        else if (request.unknownSwitch.empty())
            request.unknownSwitch = argument;
    }
    return request;
}

std::string UsageText()
{
    // Short lines: a message box wraps long ones wherever it likes.
    return "用法：preinstall.exe [/S] [/TIMEOUT=秒]\n"
           "　　　[/UNINSTALL] [/LOG=文件] [/?]\n"
           "\n"
           "（无参数）　显示安装窗口\n"
           "/S 或 /Q　　静默预装：不显示任何窗口，\n"
           "　　　　　　等安装程序结束后以退出代码报告\n"
           "/TIMEOUT=秒　静默预装最多等这么久\n"
           "　　　　　　（1～86400，默认 1800），\n"
           "　　　　　　到时结束安装程序和它启动的进程\n"
           "/UNINSTALL　删除暂存文件、驱动库中的\n"
           "　　　　　　驱动包和检测标记\n"
           "/LOG=文件　把每一步追加记录到该文件，\n"
           "　　　　　　路径含空格时加引号\n"
           "/? /H /HELP　显示本说明\n"
           "\n"
           "静默预装的退出代码：\n"
           "0　　　成功（安装程序返回 0 或 1707）\n"
           "3010　成功，需要重新启动\n"
           "1641　成功，已开始重新启动\n"
           "1603　安装程序返回了其他非零代码\n"
           "1618　另一个安装正在运行，请稍后重试\n"
           "1460　安装程序超时，已被结束\n"
           "2　　　驱动包缺少文件\n"
           "87　　无法识别的参数\n"
           "其他　失败步骤的系统错误代码";
}

std::string UnknownSwitchText(const std::string& unknownSwitch)
{
    return "无法识别的参数：" + unknownSwitch;
}

std::string CommandLineLogLine(const std::string& commandLine)
{
    return "命令行: " + commandLine;
}

std::string AlreadyRunningLogLine()
{
    return "另一个静默预装正在运行";
}

std::string SetupStillRunningLogLine()
{
    return "TOVRA_SETUP.EXE 仍在运行（由窗口或之前的运行启动），本次不复制也不启动任何文件";
}

std::string ExceptionLogLine(const std::string& what)
{
    return what.empty() ? "意外错误" : "意外错误: " + what;
}

std::string LockFailedLogLine(const std::string& error)
{
    return "无法创建静默预装的锁文件: " + error;
}

std::string SetupTimedOutLogLine(unsigned long seconds, bool withItsProcesses)
{
    return "安装程序在 " + std::to_string(seconds) + " 秒内没有结束，" +
        (withItsProcesses ? "已结束它和它启动的所有进程" : "已结束安装程序本身（它启动的进程无法一并结束）");
}

std::string SetupOutsideJobLogLine(const std::string& error)
{
    return "无法把安装程序放入作业对象，超时时只能结束安装程序本身: " + error;
}
