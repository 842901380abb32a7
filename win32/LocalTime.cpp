#include "win32/LocalTime.h"

#include <windows.h>

#include <utility>

namespace {

// `value` as exactly `digits` decimal digits, with leading zeros. Written out by hand: the
// C runtime's formatted printing would bring its whole floating-point formatter along.
void AppendDigits(std::string& text, unsigned value, int digits)
{
    std::string number(static_cast<std::size_t>(digits), '0');
    for (int index = digits - 1; index >= 0 && value != 0; --index, value /= 10)
        number[static_cast<std::size_t>(index)] = static_cast<char>('0' + value % 10);
    text += number;
}

} // namespace

std::string LocalTimeText(bool withMilliseconds)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::string text;
    AppendDigits(text, now.wYear, 4);
    for (const auto& [separator, value] : {std::pair<char, WORD>{'-', now.wMonth}, {'-', now.wDay}, {' ', now.wHour},
             {':', now.wMinute}, {':', now.wSecond}}) {
        text += separator;
        AppendDigits(text, value, 2);
    }
    if (withMilliseconds) {
        text += '.';
        AppendDigits(text, now.wMilliseconds, 3);
    }
    return text;
}

std::uint32_t Win32Clock::MillisecondsNow()
{
    return GetTickCount();
}
