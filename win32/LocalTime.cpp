#include "win32/LocalTime.h"

#include <windows.h>

#include <cstdio>

std::string LocalTimeText(bool withMilliseconds)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth,
        now.wDay, now.wHour, now.wMinute, now.wSecond);
    if (withMilliseconds)
        std::snprintf(text + length, sizeof text - length, ".%03u", now.wMilliseconds);
    return text;
}
