#include "staging/DriverPackage.h"

namespace {
const std::string kCannotContinue = "，驱动安装无法继续!";
}

std::string CreateDirectoryFailedMessage(const std::string& stagingDirectory)
{
    return "无法创建目录" + stagingDirectory + kCannotContinue;
}

std::string CopyFailedMessage(const PackageFile& file)
{
    return std::string("无法复制") + file.name + "文件" + kCannotContinue;
}

std::string LaunchFailedMessage()
{
    return std::string("无法启动") + kStagedSetupName + kCannotContinue;
}

std::string PackageDirectoryLine(const std::string& packageDirectory)
{
    return "驱动包目录: " + packageDirectory;
}

std::string FileCheckedLine(const std::string& path, bool present)
{
    return "检查 " + path + (present ? ": 存在" : ": 缺少");
}

std::string WindowsDirectoryLine(const std::string& windowsDirectory)
{
    return "Windows 目录: " + windowsDirectory;
}

std::string StagingDirectoryLine(const std::string& stagingDirectory, bool created)
{
    return "暂存目录 " + stagingDirectory + (created ? ": 已创建" : ": 已存在");
}

std::string CopiedLine(const std::string& from, const std::string& to, std::optional<std::uint64_t> size)
{
    return "复制 " + from + " -> " + to + ": " + (size ? std::to_string(*size) + " 字节" : "大小未知");
}

std::string CopyFailedLine(const std::string& from, const std::string& to, const std::string& error)
{
    return "复制 " + from + " -> " + to + " 失败: " + error;
}

std::string SetupStartedLine(const std::string& commandLine, unsigned long processId)
{
    return "已启动 " + commandLine + ", 进程 ID " + std::to_string(processId);
}

std::string SetupExitLine(unsigned long exitCode)
{
    return "安装程序退出代码: " + std::to_string(exitCode);
}

std::string WaitFailedLine(const std::string& error)
{
    return "等待安装程序结束失败: " + error;
}

std::string MessageLine(const std::string& caption, const std::string& message)
{
    std::string line = caption + ": " + message;
    for (char& character : line)
        if (character == '\n')
            character = ' ';
    return line;
}

std::string ResultLine(unsigned long code, const std::string& error)
{
    const std::string exitCode = "退出代码 " + std::to_string(code);
    if (code == 0)
        return "结果: 成功, " + exitCode;
    if (IsSuccessCode(code))
        return "结果: 成功, 需要重新启动, " + exitCode;
    return "结果: 失败, " + exitCode + ": " + error;
}
