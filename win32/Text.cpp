#include "win32/Text.h"

#include "win32/OptionalFunction.h"

#include <windows.h>

#include <algorithm>

std::wstring Widen(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring utf16(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), utf16.data(), length);
    return utf16;
}

std::string Narrow(const std::wstring& utf16)
{
    if (utf16.empty())
        return {};
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(
        CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::string ExecutableFilePath()
{
    // GetModuleFileNameW truncates silently when the buffer is too small: grow until it fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size()) {
            buffer.resize(length);
            return Narrow(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool SameNameIgnoringCase(const std::wstring& one, const std::wstring& other)
{
    // Windows Vista and later: the file system's own comparison, the same in every locale.
    using CompareStringOrdinalFunction = int(WINAPI*)(const wchar_t*, int, const wchar_t*, int, BOOL);
    static const auto compareOrdinal =
        OptionalFunction<CompareStringOrdinalFunction>(Kernel32(), "CompareStringOrdinal");
    if (compareOrdinal != nullptr)
        return compareOrdinal(one.data(), static_cast<int>(one.size()), other.data(), static_cast<int>(other.size()),
                   TRUE) == CSTR_EQUAL;
    // Older Windows: a plain fold of ASCII letters; other characters must be equal.
    const auto fold = [](wchar_t character) {
        return character >= L'a' && character <= L'z' ? static_cast<wchar_t>(character - L'a' + L'A') : character;
    };
    return one.size() == other.size() &&
        std::equal(one.begin(), one.end(), other.begin(), [&](wchar_t a, wchar_t b) { return fold(a) == fold(b); });
}
