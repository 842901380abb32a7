// The program's command line, read only when arguments are given: /S or /Q for an
// unattended run, /TIMEOUT=SECONDS for how long it waits for the setup, /UNINSTALL to
// remove what was installed, /LOG=FILE for a log of every step, /SETUPSHA256=HEX for the
// SHA-256 the package's setup must have, /NOARP to leave out the Programs and Features
// entry, /? /H /HELP for the usage. Switches
// start with "/" or "-" and are case-insensitive; an argument that is not a switch (a
// file dropped on the program) is ignored. Portable; all strings are UTF-8.
#pragma once

#include <optional>
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
