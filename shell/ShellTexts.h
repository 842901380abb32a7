// The texts of the command line: the usage box (also shown below an unknown switch) and
// the first line of every logged run. UTF-8; each exists in code page 936.
#pragma once

#include <string>

std::string UsageText();
std::string UnknownSwitchText(const std::string& unknownSwitch);
// /SETUPSHA256 on a Windows without SHA-256 (before Windows XP SP3).
std::string NoSha256Text();
std::string CommandLineLogLine(const std::string& commandLine);
