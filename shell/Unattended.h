// The runs for deployment tools: the rules of staging/Deployment.h wired to their Windows
// implementations, with everything logged to the report's log.
#pragma once

#include "shell/CommandLine.h"
#include "shell/WindowsParts.h"
#include "staging/Interfaces.h"
#include "staging/RunReport.h"

// /S: no window and no message box in any outcome; returns the exit code.
unsigned long RunUnattendedPreInstall(WindowsParts& parts, RunReport& report, const CommandLineRequest& request);

// /UNINSTALL: tells the outcome once through `window` (a box, or nothing with /S);
// returns the exit code.
unsigned long RunUninstallCommand(
    WindowsParts& parts, RunReport& report, WindowOps& window, const CommandLineRequest& request);
