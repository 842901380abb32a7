// The program's exit codes: one table (ExitCodes.cpp) says for each which runs end in it,
// what it means (in Chinese for the usage box and the logs, in English for the documents),
// the event it gives and whether it is a success. The event, the success rule, the usage box
// and the Windows Installer log are made from it, and tests/unit/DocumentsTest.cpp holds the
// documents to it. Portable.
#pragma once

#include <optional>
#include <span>
#include <string>

// Windows' codes for the results deployment tools tell apart, and those the code tells apart.
inline constexpr unsigned long kErrorFileNotFound = 2;
inline constexpr unsigned long kErrorAccessDenied = 5;
inline constexpr unsigned long kErrorSharingViolation = 32;
inline constexpr unsigned long kErrorNotSupported = 50;
inline constexpr unsigned long kErrorFileExists = 80;
inline constexpr unsigned long kErrorInvalidParameter = 87;
inline constexpr unsigned long kErrorInvalidImageHash = 577;
inline constexpr unsigned long kErrorAlreadyExists = 183;
inline constexpr unsigned long kErrorTimeout = 1460;
inline constexpr unsigned long kErrorInstallFailure = 1603;
inline constexpr unsigned long kErrorInstallAlreadyRunning = 1618;
inline constexpr unsigned long kRestartInitiated = 1641;
inline constexpr unsigned long kInstallSucceeded = 1707; // Windows Installer's "completed successfully"
inline constexpr unsigned long kErrorInstallPlatformUnsupported = 1633;
inline constexpr unsigned long kRestartRequired = 3010;
inline constexpr unsigned long kErrorReparsePointEncountered = 4395;
inline constexpr unsigned long kErrorDriverStoreAddFailed = 0xE0000247;
inline constexpr unsigned long kErrorDriverStoreDeleteFailed = 0xE000024C;
inline constexpr unsigned long kErrorInfInUseByDevices = 0xE000023D;
inline constexpr unsigned long kErrorInWow64 = 0xE0000235; // a 32-bit caller on 64-bit Windows

// The events of the Application log: their types, and the ids of the message table
// (resources/messages.mc).
enum class EventType { Information, Warning, Error };
inline constexpr unsigned long kEventInstalled = 1000;
inline constexpr unsigned long kEventInstalledRestartNeeded = 1001;
inline constexpr unsigned long kEventInstallFailed = 1002;
inline constexpr unsigned long kEventAnotherRunHoldsThePc = 1003;
inline constexpr unsigned long kEventUninstalled = 1010;
inline constexpr unsigned long kEventUninstallFailed = 1011;
inline constexpr unsigned long kEventReaderStillConnected = 1012;
inline constexpr unsigned long kEventIds[] = {kEventInstalled, kEventInstalledRestartNeeded, kEventInstallFailed,
    kEventAnotherRunHoldsThePc, kEventUninstalled, kEventUninstallFailed, kEventReaderStillConnected};

struct RunEvent {
    EventType type;
    unsigned long id;
};

// A run with arguments: a pre-install (/S, or the window's) or /UNINSTALL.
enum class RunKind { Install, Uninstall };

// Which runs end in a code. A refused command line (an unknown switch, /SETUPSHA256 without
// SHA-256) ends before either starts; the documents and the usage box list it with /S.
enum class CodeRuns { Install, Uninstall, Both, RefusedCommandLine };

// A code that is one number, or one of the families that are not: the INF parser's codes
// and the failed step's system code (every code no row names; its row gives the event then).
enum class CodeFamily { Number, InfParser, FailedStep };

// The code column: the number, or a family with its names in the usage box and the documents.
struct ExitCodeCell {
    CodeFamily family;
    unsigned long number;     // a Number only
    const char* chineseLabel; // a family only
    const char* englishLabel; // a family only: as the documents' tables write it
};

enum class CodeOutcome { Failure, Success, SuccessRestartNeeded };

struct ExitCodeRow {
    ExitCodeCell code;
    CodeRuns runs;
    std::optional<RunEvent> installEvent;   // the event of a pre-install that ends so; none: the failed step's
    std::optional<RunEvent> uninstallEvent; // likewise of an uninstall
    CodeOutcome outcome;
    const char* chinese;      // the usage box: one line, short enough that a narrow box does not wrap it
    const char* english;      // the documents
    const char* chineseInLog; // the Windows Installer log's sentence; nullptr: `chinese`
};

// The table, in the order the usage box and the documents list the codes.
std::span<const ExitCodeRow> ExitCodeTable();

// Whether a row is listed among the codes of `kind`'s runs (a refused command line's with /S).
bool ListedUnder(const ExitCodeRow& row, RunKind kind);

// The numbered row a run of `kind` ends in with `code`, or nullptr: then it is the failed
// step's code, FailedStepRow().
const ExitCodeRow* FindExitCode(RunKind kind, unsigned long code);
const ExitCodeRow& FailedStepRow();

// The code as the usage box and the documents write it: decimal, SetupAPI's 0xE... codes in
// hexadecimal; a family by its Chinese label.
std::string ExitCodeText(const ExitCodeCell& code);

// Success, with or without a restart to follow.
bool IsSuccessCode(unsigned long code);
// Success, and Windows must restart.
bool MeansRestart(unsigned long code);
