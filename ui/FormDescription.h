// A form's description: pure data from which the windowing layer builds the window.
// Sizes are pixels at 96 dots per inch; texts are UTF-8. No Windows headers here.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Colours as the form description stores them: 0x00BBGGRR, or a system colour index
// with the top bit set.
using TColor = std::uint32_t;
inline constexpr TColor clWindowText = 0x80000008;
inline constexpr TColor clBtnFace = 0x8000000F;
inline constexpr TColor clBlue = 0x00FF0000;

enum class TFontCharset : std::uint8_t { Ansi = 0, Gb2312 = 134 };

struct FontDescription {
    std::string name;
    int height; // negative: character height in pixels
    TColor color;
    TFontCharset charset;
};

enum class ComponentKind { Label, Button, SkinData, SkinCaption };

struct ComponentDescription {
    ComponentKind kind;
    std::string name;
    int left = 0, top = 0, width = 0, height = 0;
    std::string caption{};
    // The control's own font; empty name: the form's font.
    FontDescription font{};
    bool visible = true;
    int tabOrder = -1;     // -1: takes no focus; tab orders must rise in creation order, which the window follows
    std::string onClick{}; // name of the form's event method
    // Stored settings of a non-visual component, as name and value.
    std::vector<std::pair<std::string, std::string>> properties{};
};

// Every form has a single fixed border and opens centred on the screen.
struct FormDescription {
    std::string className;
    std::string name;
    std::string caption;
    int clientWidth, clientHeight;
    bool minimizeBox;
    bool maximizeBox;
    TColor color;
    FontDescription font;
    int pixelsPerInch;
    std::vector<ComponentDescription> components; // creation and stacking order
};
