#include "win32/MachineKeys.h"

#include "win32/Architecture.h"
#include "win32/Errors.h"
#include "win32/OptionalFunction.h"
#include "win32/Text.h"

#include <windows.h>

namespace {

// The 32-bit view on 64-bit Windows, where the deployment guide's detection rules look, for
// either build; 32-bit Windows has one view and older versions may not know the flag.
REGSAM View()
{
    constexpr REGSAM kWow64_32Key = 0x0200; // KEY_WOW64_32KEY
    static const REGSAM view = NativeArchitecture() == "x86" ? 0 : kWow64_32Key;
    return view;
}

} // namespace

MachineKey::~MachineKey()
{
    Close();
}

void MachineKey::Close()
{
    if (written_ != nullptr)
        RegCloseKey(written_);
    written_ = nullptr;
}

unsigned long MachineKey::Set(const std::string& name, DWORD type, const void* data, DWORD size)
{
    if (written_ == nullptr) {
        const LONG error = RegCreateKeyExW(
            HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_SET_VALUE | View(), nullptr, &written_, nullptr);
        if (error != ERROR_SUCCESS) {
            written_ = nullptr;
            return static_cast<unsigned long>(error);
        }
    }
    return static_cast<unsigned long>(
        RegSetValueExW(written_, Widen(name).c_str(), 0, type, static_cast<const BYTE*>(data), size));
}

unsigned long MachineKey::SetNumber(const std::string& name, unsigned long value)
{
    const DWORD number = value;
    return Set(name, REG_DWORD, &number, sizeof number);
}

unsigned long MachineKey::SetText(const std::string& name, const std::string& value)
{
    const std::wstring text = Widen(value);
    return Set(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

unsigned long MachineKey::SetExpandableText(const std::string& name, const std::string& value)
{
    const std::wstring text = Widen(value);
    return Set(name, REG_EXPAND_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

unsigned long MachineKey::RemoveValue(const std::string& name)
{
    // A key not written yet is opened for this only: removing a value creates no key.
    HKEY key = written_;
    if (key == nullptr) {
        const LONG error = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, KEY_SET_VALUE | View(), &key);
        if (error != ERROR_SUCCESS)
            return error == ERROR_FILE_NOT_FOUND ? 0 : static_cast<unsigned long>(error);
    }
    const LONG error = RegDeleteValueW(key, Widen(name).c_str());
    if (key != written_)
        RegCloseKey(key);
    return error == ERROR_FILE_NOT_FOUND ? 0 : static_cast<unsigned long>(error);
}

std::optional<std::string> MachineKey::ReadText(const std::string& name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, KEY_QUERY_VALUE | View(), &key) != ERROR_SUCCESS)
        return std::nullopt;
    const std::wstring valueName = Widen(name);
    DWORD type = 0;
    DWORD size = 0;
    std::optional<std::string> text;
    if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ) {
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) ==
            ERROR_SUCCESS)
            text = Narrow(data.substr(0, data.find(L'\0')));
    }
    RegCloseKey(key);
    return text;
}

std::optional<unsigned long> MachineKey::ReadNumber(const std::string& name) const
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, KEY_QUERY_VALUE | View(), &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0;
    DWORD number = 0;
    DWORD size = sizeof number;
    const LONG error =
        RegQueryValueExW(key, Widen(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS || type != REG_DWORD)
        return std::nullopt;
    return number;
}

Result<bool> MachineKey::RemoveAll()
{
    Close();
    // RegDeleteKeyExW (with a view) is Windows XP x64 and later: where there is only one
    // view, RegDeleteKeyW deletes from it.
    using RegDeleteKeyExFunction = LONG(WINAPI*)(HKEY, const wchar_t*, REGSAM, DWORD);
    const auto deleteInView =
        OptionalFunction<RegDeleteKeyExFunction>(GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW");
    const LONG error = View() != 0 && deleteInView != nullptr
        ? deleteInView(HKEY_LOCAL_MACHINE, path_.c_str(), View(), 0)
        : RegDeleteKeyW(HKEY_LOCAL_MACHINE, path_.c_str());
    if (error == ERROR_FILE_NOT_FOUND)
        return false;
    if (error != ERROR_SUCCESS)
        return Failed{static_cast<unsigned long>(error)};
    return true;
}

unsigned long ApplicationLog::Report(EventType type, unsigned long id, const std::vector<std::string>& strings)
{
    const HANDLE source = RegisterEventSourceW(nullptr, kEventSourceName);
    if (source == nullptr)
        return LastError();
    std::vector<std::wstring> wide;
    for (const std::string& text : strings)
        wide.push_back(Widen(text));
    std::vector<const wchar_t*> inserts;
    for (const std::wstring& text : wide)
        inserts.push_back(text.c_str());
    const WORD kinds[] = {EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE, EVENTLOG_ERROR_TYPE};
    const BOOL reported = ReportEventW(source, kinds[static_cast<int>(type)], 0, id, nullptr,
        static_cast<WORD>(inserts.size()), 0, inserts.data(), nullptr);
    const unsigned long error = reported ? 0 : LastError();
    DeregisterEventSource(source);
    return error;
}
