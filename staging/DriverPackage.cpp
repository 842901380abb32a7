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
