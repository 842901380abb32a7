#include "staging/StoreCopies.h"

#include "staging/Ascii.h"

Result<std::vector<std::string>> StoreCopiesOf(
    Files& files, const std::string& infFolder, const std::string& packageInf)
{
    const Result<std::vector<std::string>> names = files.ListFolder(infFolder);
    if (!names)
        return names;
    std::vector<std::string> copies;
    for (const std::string& name : *names) {
        if (name.size() <= 4 || !EndsWithIgnoringAsciiCase(name, ".inf"))
            continue;
        // Sizes first: the inf folder holds hundreds of other vendors' INFs.
        const Result<std::uint64_t> size = files.FileSize(infFolder + name);
        if (!size || *size != packageInf.size())
            continue;
        const Result<std::string> bytes = files.ReadFileBytes(infFolder + name);
        if (bytes && *bytes == packageInf)
            copies.push_back(name);
    }
    return copies;
}
