// Files and folders through Win32's W calls, for UTF-8 paths: the Files operations of the
// procedures, and helpers the other Windows parts share.
#pragma once

#include "staging/Interfaces.h"

#include <windows.h>

#include <string>

class Win32Files final : public Files {
public:
    bool FileExists(const std::string& path) override;
    PathKind KindOfPath(const std::string& path) override;
    Result<std::uint64_t> FileSize(const std::string& path) override;
    Result<std::string> WindowsDirectory() override;
    Result<bool> MakeDirectory(const std::string& path) override;
    unsigned long ProtectFolder(const std::string& path) override;
    unsigned long CopyToNewFile(const std::string& from, const std::string& to) override;
    unsigned long Rename(const std::string& from, const std::string& to) override;
    unsigned long RemoveFile(const std::string& path) override;
    unsigned long RemoveEmptyFolder(const std::string& folder) override;
    unsigned long RemoveAtRestart(const std::string& path) override;
    Result<std::vector<std::string>> ListFolder(const std::string& folder) override;
    Result<std::string> ReadFileBytes(const std::string& path) override;
    Result<std::unique_ptr<HeldFile>> HoldFile(const std::string& path) override;
};

// Clears the read-only, hidden and system attributes of an existing file, never of a
// folder: Windows refuses to delete a read-only file.
void MakeReplaceable(const std::wstring& path);
