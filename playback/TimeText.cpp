#include "playback/TimeText.h"

#include <QLocale>
#include <QRegularExpression>

namespace larkspur {

QString longTimeFormat()
{
    // Qt's long format carries a time zone ("t"); a song position has none.
    QString fmt = QLocale::system().timeFormat(QLocale::LongFormat);
    fmt.remove(QRegularExpression(QStringLiteral("\\s*\\(?t+\\)?")));
    return fmt.trimmed();
}

std::string songLogLine(const QDateTime& when, const std::string& path)
{
    const QLocale loc = QLocale::system();
    const QString stamp = loc.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                          loc.toString(when.time(), longTimeFormat());
    return stamp.toLocal8Bit().toStdString() + " - " + path;
}

std::string durationText(long long ms)
{
    if (ms < 0) ms = 0;
    const QTime t = QTime(0, 0).addMSecs(static_cast<int>(ms % 86400000LL));
    return QLocale::system().toString(t, longTimeFormat()).toLocal8Bit().toStdString();
}

} // namespace larkspur
