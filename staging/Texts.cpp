#include "staging/Texts.h"

#include "resources/ProductName.h"
#include "staging/Ascii.h"

#include <initializer_list>
#include <string_view>

namespace {

constexpr std::string_view kCannotContinue = "，驱动安装无法继续!";

// One string from its parts: each text is built by one call, not by a chain of
// temporaries at each of them.
std::string Join(std::initializer_list<std::string_view> parts)
{
    std::string text;
    for (const std::string_view part : parts)
        text.append(part);
    return text;
}

std::string Joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items)
        text.append(text.empty() ? "" : ", ").append(item);
    return text;
}

// `value` as 0x and four or more hexadecimal digits.
std::string Hexadecimal(unsigned long value, std::size_t digits = 4)
{
    std::string text;
    do {
        text.insert(text.begin(), "0123456789ABCDEF"[value % 16]);
        value /= 16;
    } while (value != 0);
    if (text.size() < digits)
        text.insert(0, digits - text.size(), '0');
    return "0x" + text;
}

std::string ProductTypeText(unsigned long productType)
{
    switch (productType) {
    case 1:
        return "工作站";
    case 2:
        return "域控制器";
    case 3:
        return "服务器";
    }
    return "产品类型 " + std::to_string(productType);
}

std::string BitsText(const std::string& architecture)
{
    return architecture == "x86" ? "32位" : architecture == "amd64" ? "64位" : UpperAscii(architecture);
}

std::string VersionText(const RunningWindows& windows)
{
    return Join(
        {std::to_string(windows.major), ".", std::to_string(windows.minor), ".", std::to_string(windows.build)});
}

} // namespace

std::string CreateDirectoryFailedMessage(const std::string& stagingDirectory)
{
    return Join({"无法创建目录", stagingDirectory, kCannotContinue});
}

std::string StagingIsLinkMessage(const std::string& stagingDirectory)
{
    return Join({"目录", stagingDirectory, "是一个链接，不能向其中复制文件", kCannotContinue});
}

std::string ProtectFolderFailedMessage(const std::string& stagingDirectory)
{
    return Join({"无法设置目录", stagingDirectory, "的访问权限", kCannotContinue});
}

std::string CopyFailedMessage(const PackageFile& file)
{
    return Join({"无法复制", file.name, "文件", kCannotContinue});
}

std::string LaunchFailedMessage()
{
    return Join({"无法启动", kStagedSetupName, kCannotContinue});
}

std::string SetupUnhashableMessage()
{
    return Join({"无法计算", kDriverPackage[0].name, "文件的SHA-256校验值", kCannotContinue});
}

std::string SetupHashMismatchMessage()
{
    return Join({kDriverPackage[0].name, "文件与指定的SHA-256校验值不符", kCannotContinue});
}

std::string InfUnreadableMessage()
{
    return Join({"无法读取", kPackageInfName, "文件", kCannotContinue});
}

std::string NoFittingDriverMessage(const std::string& nativeArchitecture)
{
    return Join({kPackageInfName, "文件中没有适用于本机Windows(", BitsText(nativeArchitecture), ")的驱动程序",
        kCannotContinue});
}

std::string NoDriverForThisVersionMessage(const std::vector<std::string>& declared, const RunningWindows& windows)
{
    return Join({kPackageInfName, "文件中的驱动程序(", Joined(declared), ")不适用于本机Windows(",
        BitsText(windows.architecture), " ", VersionText(windows), " ", ProductTypeText(windows.productType), ")",
        kCannotContinue});
}

std::string SetupFailedMessage(unsigned long setupExitCode)
{
    return Join({"驱动安装程序执行失败(返回代码 ", std::to_string(setupExitCode), ")", kCannotContinue});
}

std::string NotInDriverStoreMessage()
{
    return Join({"驱动安装程序已结束，但驱动程序包未添加到驱动程序存储中", kCannotContinue});
}

std::string WaitFailedMessage()
{
    return Join({"无法等待", kStagedSetupName, "结束", kCannotContinue});
}

std::string RestartNeededMessage()
{
    return "预装成功，请重新启动计算机后再将读写器插到电脑上。";
}

std::string PackageDirectoryLine(const std::string& packageDirectory)
{
    return Join({"驱动包目录: ", packageDirectory});
}

std::string FileCheckedLine(const std::string& path, bool present)
{
    return Join({"检查 ", path, (present ? ": 存在" : ": 缺少")});
}

std::string WindowsDirectoryLine(const std::string& windowsDirectory)
{
    return Join({"Windows 目录: ", windowsDirectory});
}

std::string StagingDirectoryLine(const std::string& stagingDirectory, bool created)
{
    return Join({"暂存目录 ", stagingDirectory, (created ? ": 已创建" : ": 已存在")});
}

std::string SetupHashLine(const std::string& setup, const std::string& actual, const std::string& expected)
{
    return Join({setup, " 的 SHA-256: ", actual, "，指定值: ", expected, (actual == expected ? "，相符" : "，不符")});
}

std::string CopiedLine(const std::string& from, const std::string& to, std::optional<std::uint64_t> size)
{
    return Join({"复制 ", from, " -> ", to, ": ", (size ? std::to_string(*size) + " 字节" : "大小未知")});
}

std::string CopyFailedLine(const std::string& from, const std::string& to, const std::string& error)
{
    return Join({"复制 ", from, " -> ", to, " 失败: ", error});
}

std::string SetupStartedLine(const std::string& commandLine, unsigned long processId)
{
    return Join({"已启动 ", commandLine, ", 进程 ID ", std::to_string(processId)});
}

std::string SetupInOwnJobLine()
{
    return "安装程序在本程序的作业对象中运行，它启动的进程也在其中";
}

std::string SetupBrokeAwayLine(const std::string& jobError)
{
    return Join({"本程序所在的作业对象不允许再放入另一个作业（", jobError,
        "）：安装程序已用 CREATE_BREAKAWAY_FROM_JOB 脱离它，在本程序的作业对象中运行"});
}

std::string SetupWithoutJobLine(const std::string& jobError, const std::string& breakawayError)
{
    return Join({"无法把安装程序放入作业对象（", jobError, "），本程序所在的作业对象也不允许脱离（", breakawayError,
        "）：安装程序不在作业中运行；只在时限内等待驱动程序包，超时时按父进程 ID 和创建时间结束它启动的进程"});
}

std::string SetupExitLine(unsigned long exitCode)
{
    return Join({"安装程序退出代码: ", std::to_string(exitCode)});
}

std::string WaitFailedLine(const std::string& error)
{
    return Join({"等待安装程序结束失败: ", error});
}

std::string SetupTimedOutLine(unsigned long seconds, JobRoute route)
{
    return Join({"安装程序在 ", std::to_string(seconds), " 秒内没有结束，",
        (route == JobRoute::NoJob ? "已结束它和按父进程 ID 找到的它启动的进程" : "已结束它和它启动的所有进程")});
}

std::string SetupFailedLine(unsigned long setupExitCode)
{
    return Join({"安装程序返回失败代码 ", std::to_string(setupExitCode), "，驱动程序包未安装"});
}

std::string StoreCopyFoundLine(const std::string& infPath)
{
    return Join({"驱动程序包已在驱动程序存储中: ", infPath});
}

std::string WaitingForStartedProcessesLine()
{
    return "安装程序已结束，驱动程序包还不在驱动程序存储中；等待它启动的进程";
}

std::string WaitingWithoutJobLine()
{
    return "安装程序已结束，驱动程序包还不在驱动程序存储中；安装程序不在作业对象中，在时限内等待驱动程序包";
}

std::string StillWaitingLine(unsigned long waitedSeconds, std::optional<unsigned long> leftSeconds)
{
    return Join({"已等待安装程序 ", std::to_string(waitedSeconds), " 秒，",
        (leftSeconds ? Join({"最多还等 ", std::to_string(*leftSeconds), " 秒"}) : std::string("没有时限"))});
}

std::string PackageNotInStoreLine(NotInStoreReason reason)
{
    const std::string notInStore = "安装程序报告成功，但驱动程序存储中没有 TOVRA.INF 的副本";
    switch (reason) {
    case NotInStoreReason::StartedProcessesEnded:
        return Join({notInStore, "（它启动的进程都已结束）"});
    case NotInStoreReason::TimeIsUp:
        return Join({notInStore, "（等待时间已到；它启动的仍在运行的进程没有被结束）"});
    case NotInStoreReason::TimeIsUpWithoutJob:
        return Join({notInStore, "（安装程序不在作业对象中，看不到它启动的进程；等待时间已到）"});
    }
    return notInStore;
}

std::string LogIdentityUnknownLine(const std::string& path)
{
    return Join({"无法核对日志 ", path,
        " 是否就是路径所指的文件：它所在的服务器不提供文件索引；路径上没有链接，文件也没有第二个名称"});
}

std::string RemovedAtRestartLine(const std::string& path)
{
    return Join({path, " 仍被占用，将在 Windows 重新启动时删除"});
}

std::string LeftForTheNextRunLine(const std::string& path)
{
    return Join({"现在无法删除 ", path, "，下次运行时再删除"});
}

std::string MessageLine(const std::string& caption, const std::string& message)
{
    std::string line = Join({caption, ": ", message});
    for (char& character : line)
        if (character == '\n')
            character = ' ';
    return line;
}

std::string HexadecimalCode(unsigned long code)
{
    return Hexadecimal(code, 8);
}

std::string ResultLine(const RunSummary& summary, const std::string& error)
{
    const unsigned long code = summary.exitCode;
    const std::string exitCode = Join({"退出代码 ", std::to_string(code), " (", HexadecimalCode(code), ")"});
    const auto orNone = [](const std::string& text) { return text.empty() ? std::string("无") : text; };
    const std::string details = Join(
        {"; 安装程序退出代码 ", (summary.setupExitCode ? std::to_string(*summary.setupExitCode) : std::string("无")),
            "; 驱动程序存储中的副本 ", orNone(summary.storeCopy), "; DriverVer ", orNone(summary.driverVer), "; 用时 ",
            std::to_string(summary.seconds), " 秒; 程序版本 ", summary.programVersion});
    if (code == 0)
        return Join({"结果: 成功, ", exitCode, details});
    if (IsSuccessCode(code))
        return Join({"结果: 成功, 需要重新启动, ", exitCode, details});
    return Join({"结果: 失败, ", exitCode, ": ", error, details});
}

std::string WindowClosedWhileWaitingLine()
{
    return "等待安装程序时窗口已关闭；安装程序仍在运行，结果未知";
}

std::string WindowsText(const RunningWindows& windows)
{
    return Join({windows.architecture, " ", VersionText(windows), " ", ProductTypeText(windows.productType), " (套件 ",
        Hexadecimal(windows.suiteMask), ")"});
}

std::string ModelTargetsLine(const std::vector<std::string>& declared, const RunningWindows& windows)
{
    return Join({"TOVRA.INF 的 [Manufacturer] 有这些平台的型号: ",
        (declared.empty() ? std::string("（没有）") : Joined(declared)), "; 本机 Windows: ", WindowsText(windows)});
}

std::string TakenModelsSectionLine(const std::string& section, const std::string& taken, unsigned long models)
{
    return Join({"[Manufacturer] 的 ", section, ": 本机 Windows 会用 [", taken, "]，其中有 ", std::to_string(models),
        " 个型号"});
}

std::string NoModelsSectionTakenLine(const std::string& section)
{
    return Join({"[Manufacturer] 的 ", section, ": 本机 Windows 不会用它的任何型号节"});
}

std::string NoFittingModelsLine(const std::string& nativeArchitecture)
{
    return Join({"警告: TOVRA.INF 没有适合本机 Windows (", nativeArchitecture, ") 的型号（需要 NT", nativeArchitecture,
        "），这个驱动包在本机上不会安装；请驱动包的提供者提供相应的已签名驱动和目录文件"});
}

std::string NoModelsForThisVersionLine(const RunningWindows& windows)
{
    return Join({"警告: TOVRA.INF 有本机处理器的型号，但都不适用于本机 Windows (", WindowsText(windows),
        ")：Windows 按版本、产品类型、套件和内部版本号选择型号，这个驱动包在本机上不会安装；"
        "请驱动包的提供者提供适用于这个 Windows 的驱动"});
}

std::string InfUnreadableLine(const std::string& infPath, const std::string& error)
{
    return Join({"无法读取 ", infPath, ": ", error});
}

std::string UninstallWindowsDirectoryLine(const std::string& windowsDirectory)
{
    return Join({"卸载: Windows 目录 ", windowsDirectory});
}

std::string WindowsDirectoryUnreadableLine(const std::string& error)
{
    return Join({"无法读取 Windows 目录: ", error});
}

std::string StagingKeptLine(const std::string& stagingFolder)
{
    return Join({"保留暂存目录 ", stagingFolder, "，以便以后卸载时还能认出驱动程序存储中的副本"});
}

std::string NoStagedInfLine(const std::string& stagedInf)
{
    return Join({"没有暂存的 ", stagedInf, "，不查找驱动程序存储中的副本"});
}

std::string FolderUnlistableLine(const std::string& folder, const std::string& error)
{
    return Join({"无法列出 ", folder, ": ", error});
}

std::string StoreRemovalFailedLine(const std::string& infPath, const std::string& error)
{
    return Join({"无法从驱动程序存储删除 ", infPath, ": ", error});
}

std::string ReaderConnectedMessage()
{
    return "读写器仍连接在电脑上，请取出读写器后重新卸载!";
}

std::string ReaderConnectedLine(const std::string& infPath, unsigned present)
{
    return Join(
        {infPath, " 正被 ", std::to_string(present), " 个已连接的设备使用：请先从电脑上取出读写器，再重新卸载"});
}

std::string NoDevicePresentLine(const std::string& infPath, unsigned installed)
{
    return Join({"用 ", infPath, " 安装过的 ", std::to_string(installed), " 个设备都未连接，强制从驱动程序存储删除"});
}

std::string DevicesUnknownLine(const std::string& infName, const std::string& error)
{
    return Join({"无法列出用 ", infName, " 安装的设备: ", error});
}

std::string RecordedCopyNotOursLine(const std::string& infPath)
{
    return Join({"检测标记记录的 ", infPath, " 已不是本驱动程序包（DriverVer、Provider 或 ClassGuid 不同），保留"});
}

std::string StoreCopyStayedLine(const std::string& infPath, const std::string& error)
{
    return Join({"删除后 ", infPath, " 仍在驱动程序存储中: ", error});
}

std::string StoreHelperUsedLine(const std::string& helperPath, const std::string& nativeArchitecture)
{
    return Join({"驱动程序存储属于 ", nativeArchitecture, " 系统：由 ", helperPath, " 删除"});
}

std::string StoreHelperUnreadableLine(const std::string& helperPath, const std::string& error)
{
    return Join({"无法读取 64 位驱动程序存储工具 ", helperPath, "，驱动程序存储中的驱动包未删除: ", error});
}

std::string StoreHelperChangedLine(
    const std::string& helperPath, const std::string& actual, const std::string& expected)
{
    return Join({helperPath, " 已被改动（SHA-256: ", actual, "，本程序所带的: ", expected,
        "），不运行它，驱动程序存储中的驱动包未删除"});
}

std::string StoreHelperNotRunLine(const std::string& helperPath, const std::string& error)
{
    return Join({"64 位驱动程序存储工具 ", helperPath, " 未能运行完毕，驱动程序存储中的驱动包未删除: ", error});
}

std::string StoreRemovedLine(const std::string& infPath)
{
    return Join({"已从驱动程序存储删除 ", infPath});
}

std::string StoreCopyRemovedItem(const std::string& infName)
{
    return Join({"驱动程序存储中的 ", infName});
}

std::string NoStoreCopyToRemoveLine()
{
    return "驱动程序存储中没有这个驱动包";
}

std::string FileRemovalFailedLine(const std::string& path, const std::string& error)
{
    return Join({"无法删除 ", path, ": ", error});
}

std::string LinkRemovedLine(const std::string& path)
{
    return Join({"已删除链接 ", path, "（没有进入它指向的位置）"});
}

std::string FolderRemovalFailedLine(const std::string& folder, const std::string& error)
{
    return Join({"无法删除目录 ", folder, ": ", error});
}

std::string NoStagingFolderLine(const std::string& folder)
{
    return Join({"没有暂存目录 ", folder});
}

std::string StagingPathIsAFileLine(const std::string& folder)
{
    return Join({folder, " 是一个文件，不是暂存目录，未删除"});
}

std::string LinkRemovalFailedLine(const std::string& path, const std::string& error)
{
    return Join({"无法删除链接 ", path, ": ", error});
}

std::string StagingLinkRemovedLine(const std::string& folder)
{
    return Join({"暂存目录 ", folder, " 是一个链接: 只删除了链接本身"});
}

std::string StagingLinkRemovedItem(const std::string& folder)
{
    return Join({folder, "（链接）"});
}

std::string StagingFolderRemovedLine(const std::string& folder, int entries, int atRestart, bool stays)
{
    return Join({stays ? "已删除暂存目录中的项: " : "已删除暂存目录 ",
        StagingFolderRemovedItem(folder, entries, atRestart, stays)});
}

std::string StagingFolderRemovedItem(const std::string& folder, int entries, int atRestart, bool stays)
{
    return Join({folder, "（", std::to_string(entries), " 项",
        (atRestart == 0 ? std::string() : Join({"，其余 ", std::to_string(atRestart), " 项在 Windows 重新启动时删除"})),
        (stays ? "，目录留到下次运行时删除" : ""), "）"});
}

std::string NothingToUninstallText()
{
    return "没有需要卸载的内容。";
}

std::string UninstalledText(const std::vector<std::string>& removed)
{
    std::string text = "已卸载:";
    for (const std::string& line : removed)
        text.append("\n").append(line);
    return text;
}

std::string AlreadyRunningLine()
{
    return "另一个静默预装正在运行";
}

std::string SetupStillRunningLine(unsigned long processId, const std::string& path)
{
    return Join({kStagedSetupName, " 仍在运行（进程 ID ", std::to_string(processId), "，",
        (path.empty() ? std::string("正在作为程序运行") : path),
        "；由窗口或之前的运行启动），本次不复制也不启动任何文件"});
}

std::string LockFailedLine(const std::string& error)
{
    return Join({"无法创建静默预装的锁文件: ", error});
}

std::string MarkerFailedLine(const std::string& error)
{
    return Join({"无法写入检测标记 HKLM\\SOFTWARE\\IcCardReaderUsbPreInstall: ", error});
}

std::string MarkerRemovedLine()
{
    return "已删除检测标记";
}

std::string MarkerRemovedItem()
{
    return "检测标记";
}

std::string MarkerKeptLine()
{
    return "驱动程序存储中的副本没有全部删除，保留检测标记";
}

std::string KeptCopyLine(const std::string& path)
{
    return Join({"已保留本程序的副本 ", path, "，卸载时使用"});
}

std::string KeepingFailedLine(const std::string& path, const std::string& error)
{
    return Join({"无法保留本程序的副本 ", path, ": ", error});
}

std::string ProgramsEntryWrittenLine()
{
    return "已写入“程序和功能”中的条目";
}

std::string ProgramsEntryFailedLine(const std::string& error)
{
    return Join({"无法写入“程序和功能”中的条目: ", error});
}

std::string ProgramsEntryRemovedLine()
{
    return "已删除“程序和功能”中的条目";
}

std::string ProgramsEntryRemovedItem()
{
    return "“程序和功能”中的条目";
}

std::string ProgramsEntryLeftOutLine()
{
    return "/NOARP: 不写入“程序和功能”中的条目";
}

std::string EventSourceRegisteredLine(const std::string& messageFile)
{
    return Join({"已在应用程序日志中注册事件源，消息文件 ", messageFile});
}

std::string EventSourceFailedLine(const std::string& error)
{
    return Join({"无法注册或删除应用程序日志的事件源: ", error});
}

std::string EventSourceRemovedLine()
{
    return "已删除应用程序日志中的事件源注册";
}

std::string EventReportFailedLine(const std::string& error)
{
    return Join({"无法向应用程序日志写入事件: ", error});
}

std::string ContinuingFromCopyLine(const std::string& copy)
{
    return Join({"从保留的副本启动的卸载无法删除正在运行的自身：由临时副本 ", copy, " 继续"});
}

std::string ContinuationFailedLine(const std::string& error)
{
    return Join({"无法由临时副本继续卸载: ", error});
}

std::string ProgramsEntryName(const std::string& provider)
{
    return provider.empty() ? std::string(PRODUCT_NAME) : Join({PRODUCT_NAME, " (", provider, ")"});
}

std::string UnexpectedErrorLine(const std::string& what)
{
    return Join({what.empty() ? "意外错误" : "意外错误: ", what});
}

namespace {

std::string ActionName(InstallerAction action)
{
    switch (action) {
    case InstallerAction::Install:
        return "安装";
    case InstallerAction::Rollback:
        return "回滚";
    case InstallerAction::Uninstall:
        return "卸载";
    }
    return "";
}

} // namespace

std::string ExitCodeMeaning(RunKind kind, unsigned long exitCode, const std::string& systemText)
{
    const ExitCodeRow* row = FindExitCode(kind, exitCode);
    if (!row)
        return Join({FailedStepRow().chinese, ": ", systemText});
    return row->chineseInLog ? row->chineseInLog : row->chinese;
}

std::string ProgramEndedLine(InstallerAction action, const std::string& program, const std::string& parameters,
    unsigned long exitCode, const std::string& systemText, bool succeeded)
{
    const std::string line = Join({ActionName(action), ": \"", program, "\" ", parameters, " 退出代码 ",
        std::to_string(exitCode), " (", HexadecimalCode(exitCode), "): ",
        ExitCodeMeaning(
            action == InstallerAction::Install ? RunKind::Install : RunKind::Uninstall, exitCode, systemText)});
    return succeeded ? line : Join({line, "; 安装失败 (", std::to_string(kErrorInstallFailure), ")"});
}

std::string ProgramNotStartedLine(InstallerAction action, const std::string& program, const std::string& error)
{
    return Join({ActionName(action), ": 无法启动 \"", program, "\": ", error});
}

std::string KeptCopyGoneLine(const std::string& program)
{
    return Join({"卸载: 保留的副本 \"", program, "\" 已不存在，没有需要卸载的内容"});
}

std::string RestartRequestedLine(unsigned long lastExitCode)
{
    return Join({"程序的运行以 ", std::to_string(lastExitCode),
        " 结束，需要重新启动: 已请求 Windows Installer 在安装结束时重新启动"});
}
