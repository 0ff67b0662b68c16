#include "app/core/MemoText.h"

namespace larkspur {

namespace {

const QString kCutNote = QStringLiteral("\n[The text goes on past 512 KB; the rest is not shown.]");

} // namespace

MemoText memoText(std::string_view utf8)
{
    return memoText(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

MemoText memoText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    MemoText memo;
    const bool cut = text.size() > kMemoMaxChars;
    if (cut) {
        qsizetype end = kMemoMaxChars;
        if (text[end - 1].isHighSurrogate()) --end;
        text.truncate(end);
        memo.whole = false;
    }
    QString& out = memo.shown;
    out.reserve(text.size() + 64);
    qsizetype lineStart = 0;
    while (lineStart <= text.size()) {
        qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), lineStart);
        if (lineEnd < 0) lineEnd = text.size();
        if (lineEnd - lineStart > kMemoMaxLineChars) {
            // Shortened, not broken: a timed line must stay one block of the memo.
            qsizetype end = lineStart + kMemoMaxLineChars;
            if (text[end - 1].isHighSurrogate()) --end;
            out.append(QStringView(text).mid(lineStart, end - lineStart));
            out.append(QStringLiteral(" [\u2026]"));
            memo.whole = false;
        } else {
            out.append(QStringView(text).mid(lineStart, lineEnd - lineStart));
        }
        if (lineEnd == text.size()) break;
        out.append(QLatin1Char('\n'));
        lineStart = lineEnd + 1;
    }
    if (cut) out.append(kCutNote);
    return memo;
}

MemoText memoTextOfPart(std::string_view utf8)
{
    MemoText memo = memoText(utf8);
    if (!memo.shown.endsWith(kCutNote))
        memo.shown.append(QStringLiteral("\n[The file goes on; the rest is not shown.]"));
    memo.whole = false;
    return memo;
}

} // namespace larkspur
