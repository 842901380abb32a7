#include "staging/StoreCopies.h"

#include "staging/Ascii.h"

std::optional<std::vector<std::string>> StoreCopiesOf(
    SystemOps& system, const std::string& infFolder, const std::string& packageInf, unsigned long& error)
{
    const auto names = system.ListFolder(infFolder, error);
    if (!names)
        return std::nullopt;
    std::vector<std::string> copies;
    for (const std::string& name : *names) {
        // Sizes first: the inf folder holds hundreds of other vendors' INFs.
        if (name.size() > 4 && EndsWithIgnoringAsciiCase(name, ".inf") &&
            system.FileSize(infFolder + name) == packageInf.size() &&
            system.ReadFileBytes(infFolder + name) == packageInf)
            copies.push_back(name);
    }
    return copies;
}
