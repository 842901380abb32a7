// The operating system as the procedures see it, done for real: one implementation of each
// interface, each in the win32/ file that does that job.
#pragma once

#include "staging/Interfaces.h"
#include "win32/Architecture.h"
#include "win32/DriverStore.h"
#include "win32/Errors.h"
#include "win32/Files.h"
#include "win32/LocalTime.h"
#include "win32/Processes.h"

struct WindowsSystem {
    Win32Files files;
    Win32Platform platform;
    Win32DriverStore driverStore;
    Win32Programs programs;
    Win32Clock clock;
    Win32ErrorTexts errors;

    operator OperatingSystem() { return {files, platform, driverStore, programs, clock, errors}; }
};
