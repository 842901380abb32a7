// What a driver package's INF declares about the processors it installs on: the
// decorations of its [Manufacturer] section (NTx86, NTamd64, NTarm64, ...). Portable.
#pragma once

#include <string>
#include <vector>

// The models' targets, each named once in the order first met: kUndecoratedTarget for an undecorated
// line, otherwise the decoration up to its version ("NTamd64.10.0" gives "NTamd64").
std::vector<std::string> ModelTargets(const std::vector<std::vector<std::string>>& decorations);

// Whether any of `targets` installs on Windows whose processor is `nativeArchitecture`
// ("x86", "amd64", ...): x86 takes undecorated, "NT" and NTx86 models; any other takes only
// models decorated with its own name.
bool TargetsFit(const std::vector<std::string>& targets, const std::string& nativeArchitecture);
