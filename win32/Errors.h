// Windows' error codes: the calling thread's last one, and the system's text for one.
#pragma once

#include "staging/Interfaces.h"

#include <string>

// The calling thread's last error; a failure that left none is still not 0 (success).
unsigned long LastError();

// "错误代码 N: " and the system's one-line description of `error`; a SetupAPI code
// (0xE000xxxx) also in hexadecimal, described under its HRESULT. The number alone where
// Windows has no text.
std::string DescribeError(unsigned long error);

class Win32ErrorTexts final : public ErrorTexts {
public:
    std::string DescribeError(unsigned long error) override { return ::DescribeError(error); }
};
