// The pre-install procedure's operating-system calls, done for real with Win32's W calls.
#pragma once

#include "staging/PreInstall.h"

class Win32SystemOps final : public SystemOps {
public:
    bool FileExists(const std::string& path) override;
    std::size_t WindowsDirectorySize() override;
    std::optional<std::string> ReadWindowsDirectory(std::size_t bufferSize) override;
    unsigned long MakeDirectory(const std::string& path) override;
    unsigned long CopyFileOver(const std::string& from, const std::string& to) override;
    unsigned long StartProgram(
        const std::string& program, const std::string& parameters, const std::string& workingDirectory) override;
    std::string DescribeError(unsigned long error) override;
};
