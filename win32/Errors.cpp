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

} // namespace

unsigned long LastError()
{
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

std::string DescribeError(unsigned long error)
{
    std::string description = "错误代码 " + std::to_string(error);
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length != 0 && text != nullptr)
        description += ": " + TrimTrailingSpace(Narrow(std::wstring(text, length)));
    LocalFree(text);
    return description;
}
