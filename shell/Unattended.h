// The runs for deployment tools: the rules of staging/Deployment.h wired to their Windows
// implementations, with everything logged to the program's log.
#pragma once

#include "shell/CommandLine.h"
#include "staging/Operations.h"
#include "staging/RunSummary.h"

// /S: no window and no message box in any outcome; returns the exit code.
unsigned long RunUnattendedPreInstall(const CommandLineRequest& request);

// /UNINSTALL: tells the outcome once through `window` (a box, or nothing with /S);
// returns the exit code.
unsigned long RunUninstallCommand(WindowOps& window, const CommandLineRequest& request);

// The one event of a run of the window that was given arguments: its last pre-install.
void ReportWindowRun(const RunSummary& lastPreInstall);
