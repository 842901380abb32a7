// Windows' error codes: the calling thread's last one, and the system's text for one.
#pragma once

#include <string>

// The calling thread's last error; a failure that left none is still not 0 (success).
unsigned long LastError();

// "错误代码 N: " and the system's one-line description of `error`.
std::string DescribeError(unsigned long error);
