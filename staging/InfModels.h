// Which models of a driver package's INF Windows would take, as Windows chooses them: by the
// TargetOSVersion decorations of its [Manufacturer] section,
//   nt[Architecture][.[Major][.[Minor][.[ProductType][.[SuiteMask][.[Build]]]]]]
// or, where none fits, by the undecorated models section. Portable.
#pragma once

#include "staging/Interfaces.h"

#include <optional>
#include <string>
#include <vector>

// One decoration, read; an empty field is one the decoration leaves open.
struct Decoration {
    std::string architecture; // lower case; empty for plain "NT"
    std::optional<unsigned long> major;
    std::optional<unsigned long> minor;
    std::optional<unsigned long> productType;
    std::optional<unsigned long> suiteMask;
    std::optional<unsigned long> build;
};

// Nothing when `text` is no decoration Windows reads ("NT" first, then numbers in decimal or 0x hexadecimal).
std::optional<Decoration> ReadDecoration(const std::string& text);

// Whether Windows takes a models section of this decoration: its architecture; its version
// or an earlier one; its product type; every suite it names; its build, which Windows reads
// from Windows 10 version 1607 (build 14310) on and compares only within the same version.
// A decoration without an architecture serves x86 only: other processors take only
// sections decorated with their own.
bool DecorationFits(const Decoration& decoration, const RunningWindows& windows);

// The section Windows takes for one [Manufacturer] line here: of the decorations that fit,
// the one closest to this Windows (the highest version not above it, then the highest build,
// then the one that names the most fields; the first written of equals), else, on x86, the
// undecorated section. Windows 2000 reads no decorations. Nothing when it takes none.
std::optional<ModelsSection> ChosenSection(const ManufacturerModels& line, const RunningWindows& windows);

// The full name of a models section of `line`: "name" or "name.decoration".
std::string SectionName(const ManufacturerModels& line, const ModelsSection& section);

enum class ModelsFit {
    Fits,
    NotForThisArchitecture, // no models for this processor at all
    NotForThisVersion,      // models for this processor, but for another Windows version, product or suite
};

// Whether Windows would find models in the package: whether the section it takes for some
// line has any. An empty section taken is how an INF says "not on this Windows".
ModelsFit FitOfModels(const std::vector<ManufacturerModels>& manufacturers, const RunningWindows& windows);

// What the package offers, each named once in the order first met: its decorations as
// written, and kUndecoratedTarget for an undecorated section with models.
std::vector<std::string> DeclaredModels(const std::vector<ManufacturerModels>& manufacturers);
