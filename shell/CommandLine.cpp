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
    const std::string logSwitch = "LOG=";
    const std::string timeoutSwitch = "TIMEOUT=";
    const std::string sha256Switch = "SETUPSHA256=";
    for (const std::string& argument : arguments) {
        if (argument.empty() || (argument[0] != '/' && argument[0] != '-'))
            continue;
        const std::string name = UpperAscii(argument.substr(1));
        std::optional<unsigned long> timeout;
        std::optional<std::string> sha256;
        if (name == "S" || name == "Q")
            request.silent = true;
        else if (name == "?" || name == "H" || name == "HELP")
            request.help = true;
        else if (name == "UNINSTALL")
            request.uninstall = true;
        else if (name == "NOARP")
            request.programsEntry = false;
        else if (name.rfind(logSwitch, 0) == 0 && name.size() > logSwitch.size())
            request.logPath = argument.substr(1 + logSwitch.size());
        else if (name.rfind(timeoutSwitch, 0) == 0 && (timeout = ReadTimeoutSeconds(name.substr(timeoutSwitch.size()))))
            request.setupTimeoutSeconds = *timeout;
        else if (name.rfind(sha256Switch, 0) == 0 && (sha256 = ReadSha256(name.substr(sha256Switch.size()))))
            request.setupSha256 = *sha256;
        else if (request.unknownSwitch.empty())
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
