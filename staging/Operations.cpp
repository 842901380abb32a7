#include "staging/Operations.h"

Result<std::string> WindowsDirectory(Files& files)
{
    const Result<std::size_t> size = files.WindowsDirectorySize();
    if (!size)
        return Failed{size.Error()};
    return files.ReadWindowsDirectory(*size + 1);
}
