// The detection marker of unattended runs, for deployment tools that decide from it
// whether a PC still needs the package: HKEY_LOCAL_MACHINE\SOFTWARE\IcCardReaderUsbPreInstall
// (the 32-bit build writes the 32-bit view: WOW6432Node on 64-bit Windows).
//   Installed      REG_DWORD 1, only after a run that ended in success
//   Version        REG_SZ, this program's version
//   LastExitCode   REG_DWORD, the run's exit code
//   SetupExitCode  REG_DWORD, the setup's own code, when the run waited for it to end
//   LastRun        REG_SZ, local time yyyy-mm-dd hh:mm:ss
#pragma once

#include <optional>
#include <string>

// Removes `Installed` before a run changes anything, so that a run killed half-way leaves
// none. Returns the system's error code, 0 on success (also when there was none).
unsigned long WithdrawInstalledMarker();

// Records how the run ended, after WithdrawInstalledMarker; `Installed` only for a success code. Returns the system's
// error code of the first write that failed, 0 on success.
unsigned long RecordRunInMarker(unsigned long exitCode, std::optional<unsigned long> setupExitCode);

// Removes the whole marker (an uninstall); `removed` tells whether there was one. Returns
// the system's error code, 0 on success (also when there was none).
unsigned long RemoveMarker(bool& removed);

// What a log line says of a marker that could not be written.
std::string MarkerFailedLogLine(const std::string& error);
