#include "win32/SystemOps.h"

#include "win32/Architecture.h"
#include "win32/DriverStore.h"
#include "win32/Errors.h"
#include "win32/Files.h"
#include "win32/Security.h"
#include "win32/Sha256.h"
#include "win32/Text.h"

#include <windows.h>

// The free functions share the methods' names: `::` calls them, not the method itself.

bool Win32SystemOps::FileExists(const std::string& path)
{
    return ::FileExists(path);
}

std::optional<std::uint64_t> Win32SystemOps::FileSize(const std::string& path)
{
    return ::FileSize(path);
}

std::size_t Win32SystemOps::WindowsDirectorySize(unsigned long& error)
{
    const UINT size = GetWindowsDirectoryW(nullptr, 0);
    error = size == 0 ? LastError() : 0;
    return size;
}

std::optional<std::string> Win32SystemOps::ReadWindowsDirectory(std::size_t bufferSize, unsigned long& error)
{
    std::wstring buffer(bufferSize, L'\0');
    const UINT length = GetWindowsDirectoryW(buffer.data(), static_cast<UINT>(bufferSize));
    if (length == 0 || length >= bufferSize) {
        error = length == 0 ? LastError() : ERROR_INSUFFICIENT_BUFFER;
        return std::nullopt;
    }
    buffer.resize(length);
    return Narrow(buffer);
}

unsigned long Win32SystemOps::MakeDirectory(const std::string& path, bool& created)
{
    return ::MakeDirectory(path, created);
}

unsigned long Win32SystemOps::ProtectFolder(const std::string& path)
{
    return ::ProtectFolder(Widen(path));
}

unsigned long Win32SystemOps::ReplaceWithCopy(const std::string& from, const std::string& to)
{
    return ::ReplaceWithCopy(from, to);
}

Win32SystemOps::~Win32SystemOps()
{
    ReleaseHeldFile();
}

unsigned long Win32SystemOps::HoldAndHashFile(const std::string& path, std::string& sha256)
{
    ReleaseHeldFile();
    // Shared for reading only: nobody writes, renames or deletes it while it is held.
    heldFile_ = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (heldFile_ == INVALID_HANDLE_VALUE)
        return LastError();
    return Sha256OfFile(heldFile_, sha256);
}

void Win32SystemOps::ReleaseHeldFile()
{
    if (heldFile_ != INVALID_HANDLE_VALUE)
        CloseHandle(heldFile_);
    heldFile_ = INVALID_HANDLE_VALUE;
}

unsigned long Win32SystemOps::StartProgram(const std::string& program, const std::string& parameters,
    const std::string& workingDirectory, StartedProgram& started)
{
    return setup_.Start(program, parameters, workingDirectory, started);
}

unsigned long Win32SystemOps::WaitForStartedProgram(unsigned long timeoutSeconds, unsigned long& exitCode)
{
    return setup_.Wait(timeoutSeconds, exitCode);
}

bool Win32SystemOps::EndStartedProgram()
{
    return setup_.End();
}

std::optional<bool> Win32SystemOps::StartedProgramsStillRun()
{
    return setup_.JobStillRuns();
}

std::uint32_t Win32SystemOps::MillisecondsNow()
{
    return GetTickCount();
}

std::string Win32SystemOps::DescribeError(unsigned long error)
{
    return ::DescribeError(error);
}

PathKind Win32SystemOps::KindOfPath(const std::string& path)
{
    return ::KindOfPath(path);
}

std::optional<std::vector<std::string>> Win32SystemOps::ListFolder(const std::string& folder, unsigned long& error)
{
    return ::ListFolder(folder, error);
}

std::optional<std::string> Win32SystemOps::ReadFileBytes(const std::string& path)
{
    return ::ReadFileBytes(path);
}

unsigned long Win32SystemOps::RemoveFile(const std::string& path)
{
    return ::RemoveFile(path);
}

unsigned long Win32SystemOps::RemoveEmptyFolder(const std::string& folder)
{
    return ::RemoveEmptyFolder(folder);
}

std::optional<DeviceUse> Win32SystemOps::DevicesUsing(const std::string& infName, unsigned long& error)
{
    return ::DevicesUsing(infName, error);
}

unsigned long Win32SystemOps::UninstallDriverPackage(
    const std::string& infFolder, const std::string& infName, bool force)
{
    return ::UninstallDriverPackage(infFolder, infName, force);
}

std::optional<PackageInf> Win32SystemOps::ReadPackageInf(const std::string& infPath, unsigned long& error)
{
    return ::ReadPackageInf(infPath, error);
}

std::string Win32SystemOps::NativeArchitecture()
{
    return ::NativeArchitecture();
}
