#pragma once
// The contents the save probe alternates between, known to the probe and the tests alike.

#include <string>
#include <utility>
#include <vector>

namespace larkspur::test {

// Two different texts of some 200 kB for `kind` ("lyrics", "staging"), told apart by n.
inline std::string savedText(const std::string& kind, long n)
{
    std::string text;
    for (int line = 0; text.size() < (n ? 150000u : 230000u); ++line)
        text += kind + " text " + std::to_string(n) + " line " + std::to_string(line) +
                " la la la la la la la la la la la la\r\n";
    return text;
}

// Two sets of 300 settings that share their names and differ in every value.
inline std::vector<std::pair<std::string, std::string>> savedSettings(long n)
{
    std::vector<std::pair<std::string, std::string>> values;
    for (int i = 0; i < 300; ++i)
        values.emplace_back("Setting " + std::to_string(i), "value " + std::to_string(n) + "/" +
                                                                std::to_string(i) +
                                                                std::string(200, char('a' + n)));
    return values;
}

// Play log record number n: long enough (up to about 40 kB) that a kill can cut it short.
inline std::string logRecord(long n)
{
    const std::string head = "record " + std::to_string(n) + " ";
    return head +
           std::string(static_cast<std::size_t>(1000 + (n * 7919) % 40000), char('a' + n % 26));
}

} // namespace larkspur::test
