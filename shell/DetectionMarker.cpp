#include "shell/DetectionMarker.h"

#include "Version.h"
#include "staging/DriverPackage.h"
#include "staging/Win32Text.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr wchar_t kMarkerKey[] = L"SOFTWARE\\IcCardReaderUsbPreInstall";
constexpr wchar_t kInstalled[] = L"Installed";

// The marker's key, opened for writing (and created when `create`); 0 or the error.
unsigned long OpenMarker(HKEY& key, bool create)
{
    if (create)
        return RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMarkerKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMarkerKey, 0, KEY_SET_VALUE, &key);
}

unsigned long SetNumber(HKEY key, const wchar_t* name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

unsigned long SetText(HKEY key, const wchar_t* name, const std::wstring& value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// Removing a value that is not there is no failure.
unsigned long Remove(HKEY key, const wchar_t* name)
{
    const LONG error = RegDeleteValueW(key, name);
    return error == ERROR_FILE_NOT_FOUND ? 0 : error;
}

std::wstring LocalTimeNow()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
        now.wMinute, now.wSecond);
    return Widen(text);
}

} // namespace

unsigned long WithdrawInstalledMarker()
{
    HKEY key = nullptr;
    if (const unsigned long error = OpenMarker(key, false))
        return error == ERROR_FILE_NOT_FOUND ? 0 : error;
    const unsigned long error = Remove(key, kInstalled);
    RegCloseKey(key);
    return error;
}

unsigned long RecordRunInMarker(unsigned long exitCode, std::optional<unsigned long> setupExitCode)
{
    HKEY key = nullptr;
    if (const unsigned long error = OpenMarker(key, true))
        return error;
    // Installed was withdrawn when the run began: only a success puts it back.
    const unsigned long results[] = {
        IsSuccessCode(exitCode) ? SetNumber(key, kInstalled, 1) : 0,
        SetText(key, L"Version", PREINSTALL_VERSION_W),
        SetNumber(key, L"LastExitCode", exitCode),
        setupExitCode ? SetNumber(key, L"SetupExitCode", *setupExitCode) : Remove(key, L"SetupExitCode"),
        SetText(key, L"LastRun", LocalTimeNow()),
    };
    RegCloseKey(key);
    for (const unsigned long error : results)
        if (error != 0)
            return error;
    return 0;
}

unsigned long RemoveMarker(bool& removed)
{
    const LONG error = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMarkerKey);
    removed = error == ERROR_SUCCESS;
    return error == ERROR_FILE_NOT_FOUND ? 0 : error;
}

std::string MarkerFailedLogLine(const std::string& error)
{
    return "无法写入检测标记 HKLM\\SOFTWARE\\IcCardReaderUsbPreInstall: " + error;
}
