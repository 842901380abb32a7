#include "staging/ExitCodes.h"

#include <iterator>

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

// code, runs, event of a pre-install, event of an uninstall, outcome, Chinese, English, and
// the Windows Installer log's Chinese where it says more than the usage box's short line.
// A row without an event for a run that gives its code: that run's failed-step event.
constexpr ExitCodeRow kExitCodes[] = {
    {Code(0), Both, kInstalled, kUninstalled, Success, "成功",
        "success: the setup succeeded and the package is in the driver store; an uninstall removed everything, or "
        "there was nothing to remove",
        nullptr},
    {Code(kRestartRequired), Install, kInstalledRestartNeeded, kNone, SuccessRestartNeeded, "成功，需要重新启动",
        "success, restart needed", nullptr},
    {Code(kRestartInitiated), Install, kInstalledRestartNeeded, kNone, SuccessRestartNeeded, "成功，已开始重新启动",
        "success, the setup has started a restart", nullptr},
    {Code(kErrorInstallFailure), Install, kInstallFailed, kNone, Failure, "安装程序失败，或发生意外错误",
        "the setup failed, or something unexpected happened", "安装程序返回了其他非零代码，或发生了意外错误"},
    {Code(kErrorDriverStoreAddFailed), Install, kInstallFailed, kNone, Failure, "驱动程序存储中没有驱动程序包",
        "the setup said success, the package is not in the driver store",
        "安装程序报告成功，但驱动程序包不在驱动程序存储中"},
    {Code(kErrorInstallPlatformUnsupported), Install, kInstallFailed, kNone, Failure, "TOVRA.INF 没有适用于本机的型号",
        "TOVRA.INF has no models for the running Windows", "TOVRA.INF 没有适用于本机的驱动程序"},
    {kInfParserCodes, Install, kInstallFailed, kNone, Failure, "TOVRA.INF 无法读取：解析器代码",
        "TOVRA.INF cannot be read as an INF", nullptr},
    {Code(kErrorTimeout), Install, kInstallFailed, kNone, Failure, "安装程序超时，已被结束",
        "the setup timed out and was ended", nullptr},
    {Code(kErrorInstallAlreadyRunning), Both, kAnotherRunHoldsThePc, kAnotherRunHoldsThePc, Failure,
        "另一个安装正在运行，请稍后重试", "another installation or uninstall runs: retry later", nullptr},
    {Code(kErrorInvalidImageHash), Install, kInstallFailed, kNone, Failure, "TOVRA.EXB 的 SHA-256 不符",
        "TOVRA.EXB is not the file /SETUPSHA256 names", "TOVRA.EXB与/SETUPSHA256不符，安装程序未启动"},
    {Code(kErrorNotSupported), RefusedCommandLine, kNone, kNone, Failure, "本系统无法计算SHA-256",
        "/SETUPSHA256 on a Windows that cannot compute a SHA-256", nullptr},
    {Code(kErrorReparsePointEncountered), Install, kInstallFailed, kNone, Failure, "暂存目录是链接，未写入任何文件",
        "the staging folder is a junction or symbolic link", "暂存目录是一个链接，未写入任何文件"},
    {Code(kErrorFileNotFound), Install, kInstallFailed, kNone, Failure, "驱动包缺少文件", "a package file is missing",
        "缺少文件"},
    {Code(kErrorInvalidParameter), RefusedCommandLine, kNone, kNone, Failure, "无法识别的参数",
        "an unknown switch, or a malformed value", "无法识别的参数（PREINSTALL_ARGS）"},
    {Code(kErrorAlreadyExists), Uninstall, kNone, kUninstallFailed, Failure, "暂存路径上是一个文件，未删除",
        "a file, not a folder, is at the staging path", nullptr},
    {Code(kErrorDriverStoreDeleteFailed), Uninstall, kNone, kUninstallFailed, Failure, "驱动程序存储中仍有副本",
        "a copy stayed in the driver store", nullptr},
    {Code(kErrorInfInUseByDevices), Uninstall, kNone, kReaderStillConnected, Failure, "读写器仍连接在电脑上",
        "the reader is still connected", nullptr},
    {Code(kErrorFileNotFound), Uninstall, kNone, kUninstallFailed, Failure, "缺少preinstall_store64.exe",
        "the store helper preinstall_store64.exe is missing", "缺少文件"},
    {Code(kErrorInvalidImageHash), Uninstall, kNone, kUninstallFailed, Failure, "preinstall_store64.exe已被改动",
        "the store helper is not the one the program was built with", nullptr},
    {kFailedStepCodes, Both, kInstallFailed, kUninstallFailed, Failure, "失败步骤的系统错误代码",
        "the system code of the step that failed", nullptr},
};

// The failed step's code is every code no row names: the last row, after them all.
static_assert(kExitCodes[std::size(kExitCodes) - 1].code.family == CodeFamily::FailedStep);

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
    return kExitCodes[std::size(kExitCodes) - 1];
}

std::string ExitCodeText(const ExitCodeCell& code)
{
    if (code.family != CodeFamily::Number)
        return code.chineseLabel;
    if (code.number < 0x80000000ul)
        return std::to_string(code.number);
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        text += "0123456789ABCDEF"[(code.number >> shift) & 0xF];
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
