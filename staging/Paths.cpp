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

std::size_t RootLength(const std::string& path)
{
    if (path.rfind("\\\\", 0) != 0)
        return path.size() >= 3 && path[1] == ':' ? 3 : path.size();
    const std::size_t server = path.find('\\', 2);
    const std::size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
    return share == std::string::npos ? path.size() : share + 1;
}
