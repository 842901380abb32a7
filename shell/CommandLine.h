// The program's command line, read only when arguments are given. Its switches are one
// table (CommandLineSwitches): the parsing and the usage box are made from it, and
// tests/unit/DocumentsTest.cpp holds the documents to it. Switches start with "/" or "-" and
// are case-insensitive; an argument that is not a switch (a file dropped on the program) is
// ignored. Portable; all strings are UTF-8.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

// How long an unattended run waits for the setup by default, and at most (seconds).
inline constexpr unsigned long kDefaultSetupTimeoutSeconds = 1800;
inline constexpr unsigned long kLongestSetupTimeoutSeconds = 86400;

struct CommandLineRequest {
    bool silent = false;
    bool help = false;
    bool uninstall = false;
    bool programsEntry = true; // false with /NOARP
    unsigned long setupTimeoutSeconds = kDefaultSetupTimeoutSeconds;
    std::string logPath;       // empty: no log
    std::string setupSha256;   // 64 lower-case hexadecimal digits; empty: any setup
    std::string unknownSwitch; // the first switch not understood, as given
};

// One switch: its names (upper case, without "/"; the first is the documents' own), the value
// it takes after "=" (nullptr: none), what it does to the request (false: a value it does not
// take, so an unknown switch), its line in the usage box and its line in the documents.
struct CommandLineSwitch {
    std::array<const char*, 3> names; // unused ones nullptr
    const char* chineseValue;         // the value as the usage box names it
    const char* englishValue;         // as the documents name it
    bool (*apply)(CommandLineRequest& request, const std::string& value);
    const char* chinese;
    const char* english;
};

// Every switch, in the order the usage box and the documents list them.
std::span<const CommandLineSwitch> CommandLineSwitches();
// A switch as it is written: "/S", "/TIMEOUT=秒" (or with `englishValue`, "/TIMEOUT=SECONDS").
std::string SwitchText(const CommandLineSwitch& item, const char* name, bool english = false);

// Splits a Windows command line into its arguments by the rules of Microsoft's C runtime
// (quotes group, backslashes escape only quotes); the first is the program itself.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Reads the arguments that follow the program.
CommandLineRequest ParseArguments(const std::vector<std::string>& arguments);

// The part of a Windows command line after the program's name, as it was written.
std::string ArgumentsOf(const std::string& commandLine);

// What our 64-bit store helper is asked: /REMOVE "oemN.inf" [/FORCE], exactly so; the name
// is a plain INF file name in the inf folder, never a path. Nothing for anything else.
struct StoreHelperRequest {
    std::string infName;
    bool force = false;
};
std::optional<StoreHelperRequest> ParseStoreHelperArguments(const std::vector<std::string>& arguments);
