#pragma once
// Dates and times as the user's locale writes them. Results are bytes in the system
// encoding.

#include <QDateTime>
#include <string>

namespace larkspur {

// The play log's song line: short date, " ", long time, " - ", path.
std::string songLogLine(const QDateTime& when, const std::string& path);

// A duration in milliseconds shown as a time of day in the long time format (no time zone).
std::string durationText(long long ms);

// The locale's long time format without its time zone part.
QString longTimeFormat();

} // namespace larkspur
