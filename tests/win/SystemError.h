// The system's reason for a failed call, for the messages of tests and their drivers.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

inline std::string Utf8(const std::wstring& text)
{
    std::string utf8(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(utf8.empty() ? 0 : utf8.size() - 1);
    return utf8;
}

// "error N: the system's text for N", in UTF-8.
inline std::string SystemError(DWORD code)
{
    std::string text = "error " + std::to_string(code);
    wchar_t* message = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    if (length != 0 && message != nullptr) {
        std::wstring wide(message, length);
        while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' '))
            wide.pop_back();
        text += ": " + Utf8(wide);
    }
    LocalFree(message);
    return text;
}

// Throws what could not be done, with the system's reason for the last failed call.
[[noreturn]] inline void ThrowLastError(const std::string& what)
{
    const DWORD code = GetLastError();
    throw std::runtime_error(what + " (" + SystemError(code) + ")");
}
