#include "staging/Paths.h"

std::string ExtractFilePath(const std::string& path)
{
    const auto last = path.find_last_of("\\:");
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

std::string EnsureTrailingBackslash(const std::string& directory)
{
    if (!directory.empty() && directory.back() == '\\')
        return directory;
    return directory + '\\';
}
