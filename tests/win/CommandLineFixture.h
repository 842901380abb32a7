// The program started with a command line and watched until it ends, and what it records
// in the registry, read as an administrator's tools read it.
#pragma once

#include "tests/win/ProgramFixture.h"
#include "tests/win/SystemError.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

inline constexpr wchar_t kMarkerKey[] = L"SOFTWARE\\IcCardReaderUsbPreInstall";

// What a program prints to its standard output, up to its end.
inline std::string OutputOf(const std::wstring& commandLine)
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inheritable, 0))
        ThrowLastError("cannot make a pipe");
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = write;
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    const BOOL started = CreateProcessW(
        nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    const DWORD error = GetLastError();
    CloseHandle(write);
    if (!started) {
        CloseHandle(read);
        SetLastError(error);
        ThrowLastError("cannot start " + Utf8(commandLine));
    }
    std::string output;
    char buffer[4096];
    for (DWORD got = 0; ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0;)
        output.append(buffer, got);
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(read);
    return output;
}

// The detection marker's values, name to "TYPE DATA", as Wine's reg.exe lists them.
inline std::map<std::string, std::string> MarkerValues()
{
    std::istringstream listing(
        OutputOf(std::wstring(L"reg.exe query HKLM\\") + kMarkerKey + L" /reg:32")); // either build writes there
    std::map<std::string, std::string> values;
    for (std::string line; std::getline(listing, line);) {
        std::istringstream fields(line);
        std::string name, type, data;
        if (fields >> name >> type && type.rfind("REG_", 0) == 0) {
            std::getline(fields >> std::ws, data);
            if (!data.empty() && data.back() == '\r')
                data.pop_back();
            values[name] = type + " " + data;
        }
    }
    return values;
}

inline void RemoveMarker()
{
    const LONG error = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kMarkerKey, KEY_WOW64_32KEY, 0);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
        throw std::runtime_error("cannot remove the detection marker (" + SystemError(error) + ")");
}

// The program's other keys: the Programs and Features entry (32-bit view) and its event
// source's registration.
inline constexpr wchar_t kProgramsEntryKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\IcCardReaderUsbPreInstall";
inline constexpr wchar_t kEventSourceKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\IcCardReaderUsbPreInstall";

inline bool KeyExists(const wchar_t* key)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

// A value of a key of the 32-bit view: "TYPE DATA" with the data as UTF-8 text or a
// decimal number; empty when it is not there.
inline std::string RegistryValue(const wchar_t* key, const wchar_t* name)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &opened) != ERROR_SUCCESS)
        return "";
    DWORD type = 0;
    BYTE data[4096] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    const LONG error = RegQueryValueExW(opened, name, nullptr, &type, data, &size);
    RegCloseKey(opened);
    if (error != ERROR_SUCCESS)
        return "";
    if (type == REG_DWORD)
        return "REG_DWORD " + std::to_string(*reinterpret_cast<DWORD*>(data));
    const std::string text = Utf8(reinterpret_cast<const wchar_t*>(data));
    return (type == REG_EXPAND_SZ ? "REG_EXPAND_SZ " : "REG_SZ ") + text;
}

inline void RemoveKey(const wchar_t* key)
{
    const LONG error = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY, 0);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
        throw std::runtime_error("cannot remove " + Utf8(key) + " (" + SystemError(error) + ")");
}

inline std::string Dword(DWORD value)
{
    std::ostringstream text;
    text << "REG_DWORD 0x" << std::hex << value;
    return text.str();
}

class CommandLineTest : public ProgramTest {
protected:
    const std::wstring logPath = folder.Path() + L"部署 日志.log"; // a space and Chinese
    const std::wstring lockFile = WindowsDirectory() + L"\\IcCardReaderUsbPreInstall.lock";

    void SetUp() override
    {
        ProgramTest::SetUp();
        RemoveMarker();
        RemoveKey(kProgramsEntryKey);
        RemoveKey(kEventSourceKey);
    }
    bool MarkerSaysInstalled() const { return MarkerValues().count("Installed") != 0; }

    // Starts the program with `arguments` and watches it until it ends; any window it shows
    // on the way is remembered in `windowSeen`. Returns the exit code.
    DWORD RunToEnd(const std::wstring& arguments)
    {
        Launch(arguments);
        return WatchUntilEnd();
    }
    void Launch(const std::wstring& arguments)
    {
        program =
            std::make_unique<RunningProgram>(folder.Path() + L"preinstall.exe", folder.Path(), nullptr, arguments);
    }
    DWORD WatchUntilEnd()
    {
        DWORD code = STILL_ACTIVE;
        for (int waited = 0; waited < 60000 && (code = program->WaitForExit(5)) == STILL_ACTIVE; waited += 5)
            if (const HWND shown = FindTopWindowWhere(program->Id(), [](HWND) { return true; }); shown && !windowSeen)
                windowSeen = ClassName(shown) + L" \"" + WindowText(shown) + L"\"";
        return code;
    }
    // Runs a command line exactly as Windows' Programs and Features or a deployment tool
    // would, from another folder; its exit code.
    static DWORD RunCommandLine(const std::wstring& commandLine, unsigned milliseconds)
    {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::wstring line = commandLine;
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, WindowsDirectory().c_str(),
                &startup, &process))
            ThrowLastError("cannot start " + Utf8(commandLine));
        WaitForSingleObject(process.hProcess, milliseconds);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return code;
    }
    std::string Log() const { return ReadWholeFile(logPath); }
    bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }
    bool Staged() const { return PathExists(staging + L"TOVRA.INF"); }
    int SetupStarts() const
    {
        const std::string log = ReadWholeFile(staging + L"setup.log");
        return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
    }

    std::optional<std::wstring> windowSeen;
};
