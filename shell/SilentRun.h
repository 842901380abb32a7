// The unattended run (/S): the pre-install procedure with no window and no message box in
// any outcome, for deployment tools that start the program as SYSTEM and read only its
// exit code.
#pragma once

// Runs the procedure, waits for the setup program it starts and returns the exit code
// (see DeploymentExitCode; 1618 while another unattended run holds the lock, 1603 for
// anything unexpected). Everything goes to the program's log.
unsigned long RunSilently();
