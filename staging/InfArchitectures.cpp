#include "staging/InfArchitectures.h"

#include "staging/Ascii.h"
#include "staging/Texts.h"

#include <algorithm>

namespace {

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
            add(kUndecoratedTarget);
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
        if (native == "x86" && (target == kUndecoratedTarget || decorated == "nt"))
            return true;
        return decorated == "nt" + native;
    });
}
