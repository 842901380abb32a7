#include "shell/ShellTexts.h"

std::string UsageText()
{
    // Short lines: a message box wraps long ones wherever it likes.
    return "用法：preinstall.exe [/S] [/TIMEOUT=秒]\n"
           "　　　[/SETUPSHA256=校验值] [/NOARP]\n"
           "　　　[/UNINSTALL] [/LOG=文件] [/?]\n"
           "\n"
           "（无参数）　显示安装窗口\n"
           "/S 或 /Q　　静默预装：不显示任何窗口，\n"
           "　　　　　　等安装程序结束后以退出代码报告\n"
           "/TIMEOUT=秒　静默预装最多等这么久\n"
           "　　　　　　（1～86400，默认 1800），\n"
           "　　　　　　到时结束安装程序和它启动的进程\n"
           "/SETUPSHA256=校验值\n"
           "　　　　　　只启动SHA-256为该值的TOVRA.EXB\n"
           "　　　　　　（64位十六进制）\n"
           "/NOARP　　静默预装不在“程序和功能”\n"
           "　　　　　　中写入条目\n"
           "/UNINSTALL　删除暂存文件、驱动程序存储中的\n"
           "　　　　　　驱动程序包、检测标记和条目\n"
           "/LOG=文件　把每一步追加记录到该文件，\n"
           "　　　　　　路径含空格时加引号\n"
           "/? /H /HELP　显示本说明\n"
           "\n"
           "静默预装的退出代码：\n"
           "0　　　成功：安装程序返回 0 或 1707，\n"
           "　　　　驱动程序包已在驱动程序存储中\n"
           "3010　成功，需要重新启动\n"
           "1641　成功，已开始重新启动\n"
           "1603　安装程序返回了其他非零代码\n"
           "0xE0000247　安装程序报告成功，\n"
           "　　　　但驱动程序包不在驱动程序存储中\n"
           "1633　TOVRA.INF 没有适用于本机的驱动程序\n"
           "1618　另一个安装正在运行，请稍后重试\n"
           "1460　安装程序超时，已被结束\n"
           "577　　TOVRA.EXB与/SETUPSHA256不符，\n"
           "　　　　安装程序未启动\n"
           "50　　　本系统无法计算SHA-256\n"
           "4395　暂存目录是一个链接，未写入任何文件\n"
           "2　　　驱动包缺少文件\n"
           "INF 解析器的错误代码：TOVRA.INF 无法读取\n"
           "87　　无法识别的参数\n"
           "其他　失败步骤的系统错误代码";
}

std::string UnknownSwitchText(const std::string& unknownSwitch)
{
    return "无法识别的参数：" + unknownSwitch;
}

std::string NoSha256Text()
{
    return "本系统无法计算SHA-256校验值（需要Windows XP SP3或更高版本），"
           "不能使用/SETUPSHA256参数，驱动安装无法继续!";
}

std::string CommandLineLogLine(const std::string& commandLine)
{
    return "命令行: " + commandLine;
}
