#include "staging/ExitCodes.h"

#include <cstdio>

namespace {

using enum CodeRuns;
using enum CodeOutcome;

constexpr ExitCodeCell Code(unsigned long number)
{
    return {CodeFamily::Number, number, nullptr, nullptr};
}
constexpr ExitCodeCell kInfParserCodes{CodeFamily::InfParser, 0, "INF", "the INF parser's code"};
constexpr ExitCodeCell kFailedStepCodes{CodeFamily::FailedStep, 0, "其他", "other"};

constexpr RunEvent kInstalled{EventType::Information, kEventInstalled};
constexpr RunEvent kInstalledRestartNeeded{EventType::Warning, kEventInstalledRestartNeeded};
constexpr RunEvent kInstallFailed{EventType::Error, kEventInstallFailed};
constexpr RunEvent kAnotherRunHoldsThePc{EventType::Warning, kEventAnotherRunHoldsThePc};
constexpr RunEvent kUninstalled{EventType::Information, kEventUninstalled};
constexpr RunEvent kUninstallFailed{EventType::Error, kEventUninstallFailed};
constexpr RunEvent kReaderStillConnected{EventType::Warning, kEventReaderStillConnected};
constexpr std::nullopt_t kNone = std::nullopt;

// code, runs, event of a pre-install, event of an uninstall, outcome, Chinese, English.
// A row without an event for a run that gives its code: that run's failed-step event.
constexpr ExitCodeRow kExitCodes[] = {
    {Code(0), Both, kInstalled, kUninstalled, Success, "成功",
        "success: the setup succeeded and the package is in the driver store; an uninstall removed everything, or "
        "there was nothing to remove"},
    {Code(kRestartRequired), Install, kInstalledRestartNeeded, kNone, SuccessRestartNeeded, "成功，需要重新启动",
        "success, restart needed"},
    {Code(kRestartInitiated), Install, kInstalledRestartNeeded, kNone, SuccessRestartNeeded, "成功，已开始重新启动",
        "success, the setup has started a restart"},
    {Code(kErrorInstallFailure), Install, kInstallFailed, kNone, Failure,
        "安装程序返回了其他非零代码，或发生了意外错误", "the setup failed, or something unexpected happened"},
    {Code(kErrorDriverStoreAddFailed), Install, kInstallFailed, kNone, Failure,
        "安装程序报告成功，但驱动程序包不在驱动程序存储中",
        "the setup said success, the package is not in the driver store"},
    {Code(kErrorInstallPlatformUnsupported), Install, kInstallFailed, kNone, Failure,
        "TOVRA.INF 没有适用于本机的驱动程序", "TOVRA.INF has no models for the running Windows"},
    {kInfParserCodes, Install, kInstallFailed, kNone, Failure, "TOVRA.INF 无法读取：INF 解析器的错误代码",
        "TOVRA.INF cannot be read as an INF"},
    {Code(kErrorTimeout), Install, kInstallFailed, kNone, Failure, "安装程序超时，已被结束",
        "the setup timed out and was ended"},
    {Code(kErrorInstallAlreadyRunning), Both, kAnotherRunHoldsThePc, kAnotherRunHoldsThePc, Failure,
        "另一个安装正在运行，请稍后重试", "another installation or uninstall runs: retry later"},
    {Code(kErrorInvalidImageHash), Install, kInstallFailed, kNone, Failure,
        "TOVRA.EXB与/SETUPSHA256不符，安装程序未启动", "TOVRA.EXB is not the file /SETUPSHA256 names"},
    {Code(kErrorNotSupported), RefusedCommandLine, kNone, kNone, Failure, "本系统无法计算SHA-256",
        "/SETUPSHA256 on a Windows that cannot compute a SHA-256"},
    {Code(kErrorReparsePointEncountered), Install, kInstallFailed, kNone, Failure, "暂存目录是一个链接，未写入任何文件",
        "the staging folder is a junction or symbolic link"},
    {Code(kErrorFileNotFound), Install, kInstallFailed, kNone, Failure, "驱动包缺少文件", "a package file is missing"},
    {Code(kErrorInvalidParameter), RefusedCommandLine, kNone, kNone, Failure, "无法识别的参数",
        "an unknown switch, or a malformed value"},
    {Code(kErrorAlreadyExists), Uninstall, kNone, kUninstallFailed, Failure, "暂存路径上是一个文件，未删除",
        "a file, not a folder, is at the staging path"},
    {Code(kErrorDriverStoreDeleteFailed), Uninstall, kNone, kUninstallFailed, Failure, "驱动程序存储中仍有副本",
        "a copy stayed in the driver store"},
    {Code(kErrorInfInUseByDevices), Uninstall, kNone, kReaderStillConnected, Failure, "读写器仍连接在电脑上",
        "the reader is still connected"},
    {Code(kErrorFileNotFound), Uninstall, kNone, kUninstallFailed, Failure, "缺少preinstall_store64.exe",
        "the store helper preinstall_store64.exe is missing"},
    {Code(kErrorInvalidImageHash), Uninstall, kNone, kUninstallFailed, Failure, "preinstall_store64.exe已被改动",
        "the store helper is not the one the program was built with"},
    {kFailedStepCodes, Both, kInstallFailed, kUninstallFailed, Failure, "失败步骤的系统错误代码",
        "the system code of the step that failed"},
};

bool Gives(const ExitCodeRow& row, RunKind kind)
{
    return row.runs == Both || row.runs == RefusedCommandLine ||
        row.runs == (kind == RunKind::Install ? Install : Uninstall);
}

const ExitCodeRow* FindNumbered(unsigned long code, bool (*matches)(const ExitCodeRow&))
{
    for (const ExitCodeRow& row : kExitCodes)
        if (row.code.family == CodeFamily::Number && row.code.number == code && matches(row))
            return &row;
    return nullptr;
}

} // namespace

std::span<const ExitCodeRow> ExitCodeTable()
{
    return kExitCodes;
}

bool ListedUnder(const ExitCodeRow& row, RunKind kind)
{
    return kind == RunKind::Install ? row.runs != Uninstall : row.runs == Uninstall || row.runs == Both;
}

const ExitCodeRow* FindExitCode(RunKind kind, unsigned long code)
{
    for (const ExitCodeRow& row : kExitCodes)
        if (row.code.family == CodeFamily::Number && row.code.number == code && Gives(row, kind))
            return &row;
    return nullptr;
}

const ExitCodeRow& FailedStepRow()
{
    for (const ExitCodeRow& row : kExitCodes)
        if (row.code.family == CodeFamily::FailedStep)
            return row;
    return kExitCodes[std::size(kExitCodes) - 1];
}

std::string ExitCodeText(const ExitCodeCell& code)
{
    if (code.family != CodeFamily::Number)
        return code.chineseLabel;
    if (code.number < 0x80000000ul)
        return std::to_string(code.number);
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", code.number);
    return text;
}

bool IsSuccessCode(unsigned long code)
{
    return FindNumbered(code, [](const ExitCodeRow& row) { return row.outcome != Failure; }) != nullptr;
}

bool MeansRestart(unsigned long code)
{
    return FindNumbered(code, [](const ExitCodeRow& row) { return row.outcome == SuccessRestartNeeded; }) != nullptr;
}
