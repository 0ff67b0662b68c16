#pragma once
// Byte helpers for reading HTML and CSS source: ASCII case folding and HTML white space.

#include <string>
#include <string_view>

namespace larkspur::htmltext {

inline char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// White space as HTML and CSS define it.
inline bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

inline std::string lowered(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = lower(c);
    return out;
}

inline std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

} // namespace larkspur::htmltext
