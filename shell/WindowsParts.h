// The Windows implementations of everything a run works with, put together once per
// process by wWinMain: the operating system, the machine's records, the lock and the check
// for a staged setup still running. Each is cheap until used.
#pragma once

#include "win32/LockFile.h"
#include "win32/MachineKeys.h"
#include "win32/Processes.h"
#include "win32/WindowsSystem.h"

struct WindowsParts {
    WindowsSystem system;
    MachineRecords records;
    RunLockFile lock;
    StagedSetupByPath runningSetup;
};
