#include "app/core/MemoText.h"

namespace larkspur {

QString memoText(std::string_view utf8)
{
    return memoText(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

QString memoText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    bool cut = false;
    if (text.size() > kMemoMaxChars) {
        qsizetype end = kMemoMaxChars;
        if (text[end - 1].isHighSurrogate()) --end;
        text.truncate(end);
        cut = true;
    }
    QString out;
    out.reserve(text.size() + text.size() / kMemoMaxLineChars + 64);
    qsizetype lineStart = 0;
    while (lineStart <= text.size()) {
        qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), lineStart);
        if (lineEnd < 0) lineEnd = text.size();
        qsizetype pos = lineStart;
        while (lineEnd - pos > kMemoMaxLineChars) {
            qsizetype brk = pos + kMemoMaxLineChars;
            const qsizetype blank = text.lastIndexOf(QLatin1Char(' '), brk - 1);
            if (blank > pos) {
                out.append(QStringView(text).mid(pos, blank - pos));
                pos = blank + 1;
            } else {
                if (text[brk - 1].isHighSurrogate()) --brk;
                out.append(QStringView(text).mid(pos, brk - pos));
                pos = brk;
            }
            out.append(QLatin1Char('\n'));
        }
        out.append(QStringView(text).mid(pos, lineEnd - pos));
        if (lineEnd == text.size()) break;
        out.append(QLatin1Char('\n'));
        lineStart = lineEnd + 1;
    }
    if (cut) out.append(QStringLiteral("\n[The text goes on past 512 KB; the rest is not shown.]"));
    return out;
}

} // namespace larkspur
