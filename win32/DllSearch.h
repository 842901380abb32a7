// Keeps DLLs from being loaded out of the program's own folder or the current directory.
#pragma once

// The program runs elevated from a folder that also holds TOVRA.DLL and whatever else a
// download folder holds: from here on, DLLs load only from the system directory where
// Windows supports that, and never from the current directory. Functions that older
// Windows lacks are looked up at run time and skipped when absent.
void RestrictDllSearch();
