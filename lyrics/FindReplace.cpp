#include "lyrics/FindReplace.h"

#include <algorithm>

namespace larkspur {

namespace {

QChar upperAscii(QChar c)
{
    return (c >= u'a' && c <= u'z') ? QChar(c.unicode() - u'a' + u'A') : c;
}

QString upperAscii(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    QChar* o = out.data();
    for (QChar c : text)
        *o++ = upperAscii(c);
    return out;
}

// The text as compared: folded when the case is ignored, else the text itself.
struct Haystack
{
    Haystack(QStringView text, bool matchCase)
        : folded(matchCase ? QString() : upperAscii(text)), view(matchCase ? text : folded)
    {}
    QString folded;
    QStringView view;
};

} // namespace

bool IsWordChar(QChar c)
{
    switch (c.unicode()) {
    case u'ä':
    case u'ö':
    case u'ü':
    case u'Ä':
    case u'Ö':
    case u'Ü':
    case u'ß':
        return true;
    default:
        return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
    }
}

QString ExpandEscapeCodes(QStringView text, bool bothCases)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'^' && i + 1 < text.size()) {
            const QChar code = bothCases ? text[i + 1].toLower() : text[i + 1];
            const char16_t* expansion = code == u'p'   ? u"\r\n"
                                        : code == u't' ? u"\t"
                                        : code == u'a' ? u"\r"
                                                       : nullptr;
            if (expansion) {
                out += QStringView(expansion);
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

QString PrepareFindText(QStringView typed, bool matchCase)
{
    return ExpandEscapeCodes(matchCase ? typed.toString() : upperAscii(typed), true);
}

bool MatchesFindText(QStringView candidate, QStringView prepared, bool matchCase)
{
    if (prepared.isEmpty() || candidate.size() != prepared.size()) return false;
    for (qsizetype i = 0; i < candidate.size(); ++i)
        if ((matchCase ? candidate[i] : upperAscii(candidate[i])) != prepared[i]) return false;
    return true;
}

bool IsWholeWordAt(QStringView text, qsizetype pos, qsizetype length)
{
    const qsizetype end = pos + length;
    return (pos == 0 || !IsWordChar(text[pos - 1])) &&
           (end >= text.size() || !IsWordChar(text[end]));
}

qsizetype FindNext(QStringView text, QStringView prepared, qsizetype selStart, qsizetype selLength,
                   const FindOptions& options)
{
    const qsizetype L = prepared.size();
    if (L == 0 || L > text.size()) return -1;
    const Haystack hay(text, options.matchCase);
    if (!options.down) {
        const qsizetype last = std::min(selStart, text.size()) - L; // hits end by selStart
        return last < 0 ? -1 : hay.view.lastIndexOf(prepared, last);
    }
    for (qsizetype from = std::max<qsizetype>(selStart + selLength, 0);;) {
        const qsizetype p = hay.view.indexOf(prepared, from);
        if (p < 0) return -1;
        if (!options.wholeWord || IsWholeWordAt(text, p, L)) return p;
        from = p + 1;
    }
}

ReplaceAllResult ReplaceAll(QStringView text, QStringView prepared, QStringView replacement,
                            const FindOptions& options)
{
    ReplaceAllResult result;
    const qsizetype L = prepared.size();
    if (L == 0 || L > text.size()) return result;
    const Haystack hay(text, options.matchCase);
    // Built by appending, so the work stays linear however many hits there are.
    qsizetype copied = 0;
    for (qsizetype from = 0;;) {
        const qsizetype p = hay.view.indexOf(prepared, from);
        if (p < 0) break;
        if (options.wholeWord) {
            // The character before is that of the text as replaced so far: a replacement
            // ending in a letter joins the next hit to it.
            const QChar before = p > copied               ? text[p - 1]
                                 : !result.text.isEmpty() ? result.text.back()
                                                          : QChar(u' ');
            if (IsWordChar(before) || (p + L < text.size() && IsWordChar(text[p + L]))) {
                from = p + 1;
                continue;
            }
        }
        if (result.count == 0) result.text.reserve(text.size()); // grows by doubling if longer
        result.text += text.mid(copied, p - copied);
        result.text += replacement;
        ++result.count;
        copied = from = p + L;
    }
    if (result.count > 0) result.text += text.mid(copied);
    return result;
}

CrLfText::CrLfText(QStringView raw)
{
    m_text.reserve(raw.size() + raw.size() / 16);
    for (QChar c : raw) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator || c == u'\n' ||
            c == u'\r') {
            m_breaks.push_back(m_text.size());
            m_text += u"\r\n";
        } else {
            m_text += c;
        }
    }
}

qsizetype CrLfText::breaksBefore(qsizetype pos) const
{
    return std::upper_bound(m_breaks.begin(), m_breaks.end(), pos - 2) - m_breaks.begin();
}

bool CrLfText::insideBreak(qsizetype pos) const
{
    const auto full = std::size_t(breaksBefore(pos));
    return full < m_breaks.size() && m_breaks[full] == pos - 1;
}

qsizetype CrLfText::fromEditor(qsizetype editorPos) const
{
    // Break j sits at editor position m_breaks[j] - j, a rising sequence.
    std::size_t lo = 0, hi = m_breaks.size();
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        if (m_breaks[mid] - qsizetype(mid) < editorPos)
            lo = mid + 1;
        else
            hi = mid;
    }
    return editorPos + qsizetype(lo);
}

qsizetype CrLfText::toEditorStart(qsizetype pos) const
{
    return pos - breaksBefore(pos) - (insideBreak(pos) ? 1 : 0);
}

qsizetype CrLfText::toEditorEnd(qsizetype pos) const
{
    return pos - breaksBefore(pos);
}

QString CrLfText::toEditorText(QStringView crlf)
{
    QString out;
    out.reserve(crlf.size());
    for (qsizetype i = 0; i < crlf.size(); ++i) {
        if (crlf[i] == u'\r') {
            if (i + 1 < crlf.size() && crlf[i + 1] == u'\n') ++i;
            out += u'\n';
        } else {
            out += crlf[i];
        }
    }
    return out;
}

} // namespace larkspur
