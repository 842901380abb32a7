// The texts of the command line: the usage box (also shown below an unknown switch) and
// the first line of every logged run. UTF-8; each exists in code page 936.
#pragma once

#include <string>

// The usage box: the switches and the exit codes, made from their tables.
std::string UsageText();

std::string UnknownSwitchText(const std::string& unknownSwitch);
// /SETUPSHA256 on a Windows without SHA-256 (before Windows XP SP3).
std::string NoSha256Text();
std::string CommandLineLogLine(const std::string& commandLine);

// How wide a text is in a message box's font, in its average character widths: the least and
// the most we reckon over the fonts Windows 2000 to 11 and Wine give message boxes (Tahoma,
// Segoe UI, 宋体, Microsoft YaHei UI, and the Chinese fonts linked to the Latin ones). A tab
// stop comes every kTabStopWidth of them.
struct TextWidth {
    double least;
    double most;
};
TextWidth EstimatedWidth(const std::string& text);
inline constexpr int kTabStopWidth = 8;
