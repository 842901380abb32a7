#include "win32/RegistryMarker.h"

#include "win32/Text.h"

#include <windows.h>

namespace {

constexpr wchar_t kMarkerKey[] = L"SOFTWARE\\IcCardReaderUsbPreInstall";

// The marker's key, open for writing while it lives; created when asked to.
class MarkerKey {
public:
    explicit MarkerKey(bool create)
        : error_(create ? RegCreateKeyExW(
                              HKEY_LOCAL_MACHINE, kMarkerKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key_, nullptr)
                        : RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMarkerKey, 0, KEY_SET_VALUE, &key_))
    {
    }
    ~MarkerKey()
    {
        if (error_ == ERROR_SUCCESS)
            RegCloseKey(key_);
    }
    MarkerKey(const MarkerKey&) = delete;
    MarkerKey& operator=(const MarkerKey&) = delete;

    unsigned long Error() const { return static_cast<unsigned long>(error_); }
    unsigned long Set(const std::string& name, DWORD type, const void* data, DWORD size) const
    {
        if (error_ != ERROR_SUCCESS)
            return Error();
        return RegSetValueExW(key_, Widen(name).c_str(), 0, type, static_cast<const BYTE*>(data), size);
    }
    HKEY Handle() const { return key_; }

private:
    HKEY key_ = nullptr;
    LONG error_;
};

} // namespace

unsigned long RegistryMarker::SetNumber(const std::string& name, unsigned long value)
{
    const DWORD number = value;
    return MarkerKey(true).Set(name, REG_DWORD, &number, sizeof number);
}

unsigned long RegistryMarker::SetText(const std::string& name, const std::string& value)
{
    const std::wstring text = Widen(value);
    return MarkerKey(true).Set(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

unsigned long RegistryMarker::RemoveValue(const std::string& name)
{
    const MarkerKey key(false);
    if (key.Error() != 0)
        return key.Error() == ERROR_FILE_NOT_FOUND ? 0 : key.Error();
    const LONG error = RegDeleteValueW(key.Handle(), Widen(name).c_str());
    return error == ERROR_FILE_NOT_FOUND ? 0 : error;
}

unsigned long RegistryMarker::RemoveAll(bool& removed)
{
    const LONG error = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMarkerKey);
    removed = error == ERROR_SUCCESS;
    return error == ERROR_FILE_NOT_FOUND ? 0 : error;
}
