#include "win32/Errors.h"

#include "win32/Text.h"

#include <windows.h>

namespace {

std::string TrimTrailingSpace(std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// The system's text for a message id; empty when it has none.
std::string SystemText(unsigned long id)
{
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, id, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string described = length != 0 && text != nullptr ? TrimTrailingSpace(Narrow(std::wstring(text, length))) : "";
    LocalFree(text);
    return described;
}

std::string Hexadecimal(unsigned long value)
{
    std::string digits;
    do {
        digits.insert(digits.begin(), "0123456789ABCDEF"[value % 16]);
        value /= 16;
    } while (value != 0);
    return "0x" + digits;
}

} // namespace

unsigned long LastError()
{
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

std::string DescribeError(unsigned long error)
{
    std::string description = "错误代码 " + std::to_string(error);
    // FormatMessage knows SetupAPI's codes only in their HRESULT form.
    const std::optional<unsigned long> hresult = SetupApiHresult(error);
    if (hresult)
        description += " (" + Hexadecimal(error) + ")";
    const std::string text = SystemText(hresult.value_or(error));
    return text.empty() ? description : description + ": " + text;
}
