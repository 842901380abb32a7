#include "staging/Operations.h"

#include "staging/DriverPackage.h"

std::optional<std::string> WindowsDirectory(SystemOps& system, unsigned long& error)
{
    error = 0;
    const std::size_t size = system.WindowsDirectorySize(error);
    std::optional<std::string> directory = size == 0 ? std::nullopt : system.ReadWindowsDirectory(size + 1, error);
    if (!directory)
        error = FailureCode(error);
    return directory;
}
