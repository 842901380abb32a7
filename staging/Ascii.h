// ASCII case for names Windows compares without case (switches, INF decorations, file
// names); other bytes, UTF-8 among them, stay as they are.
#pragma once

#include <algorithm>
#include <string>

inline char LowerAscii(char character)
{
    return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a') : character;
}

inline std::string LowerAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char character) { return LowerAscii(character); });
    return text;
}

inline std::string UpperAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
        [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return text;
}

inline bool EndsWithIgnoringAsciiCase(const std::string& text, const std::string& ending)
{
    return text.size() >= ending.size() && LowerAscii(text.substr(text.size() - ending.size())) == LowerAscii(ending);
}
