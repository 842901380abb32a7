#include "staging/InfArchitectures.h"

#include <algorithm>

namespace {

constexpr const char* kUndecorated = "无修饰";

std::string LowerAscii(std::string text)
{
    for (char& character : text)
        if (character >= 'A' && character <= 'Z')
            character = static_cast<char>(character - 'A' + 'a');
    return text;
}

// "NTamd64.10.0...19041" -> "NTamd64"; the platform part is all that says where it installs.
std::string TargetOf(const std::string& decoration)
{
    return decoration.substr(0, decoration.find('.'));
}

} // namespace

std::vector<std::string> ModelTargets(const std::vector<std::vector<std::string>>& decorations)
{
    std::vector<std::string> targets;
    const auto add = [&targets](const std::string& target) {
        if (std::find(targets.begin(), targets.end(), target) == targets.end())
            targets.push_back(target);
    };
    for (const std::vector<std::string>& line : decorations) {
        if (line.empty())
            add(kUndecorated);
        for (const std::string& decoration : line)
            add(TargetOf(decoration));
    }
    return targets;
}

bool TargetsFit(const std::vector<std::string>& targets, const std::string& nativeArchitecture)
{
    const std::string native = LowerAscii(nativeArchitecture);
    return std::any_of(targets.begin(), targets.end(), [&native](const std::string& target) {
        const std::string decorated = LowerAscii(target);
        if (native == "x86" && (target == kUndecorated || decorated == "nt"))
            return true;
        return decorated == "nt" + native;
    });
}

std::string ModelTargetsLine(const std::vector<std::string>& targets, const std::string& nativeArchitecture)
{
    std::string names;
    for (const std::string& target : targets)
        names += (names.empty() ? "" : ", ") + target;
    return "TOVRA.INF 的 [Manufacturer] 有这些平台的型号: " + (names.empty() ? std::string("（没有）") : names) +
        "; 本机 Windows: " + nativeArchitecture;
}

std::string NoFittingModelsLine(const std::string& nativeArchitecture)
{
    return "警告: TOVRA.INF 没有适合本机 Windows (" + nativeArchitecture + ") 的型号（需要 NT" + nativeArchitecture +
        "），这个驱动包在本机上不会安装；请驱动包的提供者提供相应的已签名驱动和目录文件";
}

std::string InfUnreadableLine(const std::string& infPath, const std::string& error)
{
    return "无法读取 " + infPath + " 的 [Manufacturer]: " + error;
}
