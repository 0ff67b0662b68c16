#pragma once
// Where the settings live: named text values. The program uses QSettingsStore; tests can use
// MapSettingsStore.

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace larkspur {

using SettingValues = std::vector<std::pair<std::string, std::string>>;

class SettingsStore
{
  public:
    virtual ~SettingsStore() = default;
    // The stored text of a value; none when it is absent or not plain text.
    virtual std::optional<std::string> read(const std::string& name) = 0;
    // Writes the values in the given order and makes them durable. False when they could
    // not all be written; must not throw for an unwritable location.
    virtual bool writeAll(const SettingValues& values) = 0;
    // Where the values live, for messages; empty when there is nothing to name.
    virtual std::string location() const { return {}; }
};

// In memory; records every write in order.
class MapSettingsStore : public SettingsStore
{
  public:
    std::optional<std::string> read(const std::string& name) override
    {
        const auto it = values.find(name);
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    bool writeAll(const SettingValues& written) override
    {
        if (failWrites) return false;
        for (const auto& [name, text] : written) {
            values[name] = text;
            writeOrder.push_back(name);
        }
        return true;
    }

    std::map<std::string, std::string> values;
    std::vector<std::string> writeOrder;
    bool failWrites = false;
};

} // namespace larkspur
