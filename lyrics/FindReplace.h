#pragma once
// Find and replace in the lyrics text, without widgets.
//
// Texts are QStrings: a letter outside ASCII (an umlaut, say) is one character, as it is in
// the editor. Line breaks are counted as two characters, carriage return and line feed, so
// that "^p" matches one; CrLfText maps those positions onto the editor's own text, where a
// line break is one character. Positions here count from 0.

#include <QString>
#include <QStringView>
#include <vector>

namespace larkspur {

struct FindOptions
{
    bool down = true;       // towards the end of the text
    bool matchCase = false; // clear: the letters a-z match A-Z; no other letter is folded
    bool wholeWord = false; // downward searches and Replace All only
};

// The digits, A-Z, a-z and the seven German letters ä ö ü Ä Ö Ü ß.
bool IsWordChar(QChar c);

// "^p" becomes CR LF, "^t" a tab, "^a" a lone CR; `bothCases` also takes "^P", "^T", "^A".
// The scan goes on behind each code, so "^^pp" gives "^", CR LF, "p".
QString ExpandEscapeCodes(QStringView text, bool bothCases);

// The find text as compared: a-z upper-cased unless matchCase, then the codes expanded.
QString PrepareFindText(QStringView typed, bool matchCase);

// Whether `candidate` equals the prepared find text; an empty find text never matches.
bool MatchesFindText(QStringView candidate, QStringView prepared, bool matchCase);

// Whether the `length` characters at `pos` stand as a word of `text`: no word character
// right before or after them. The ends of `text` count as non-word characters.
bool IsWholeWordAt(QStringView text, qsizetype pos, qsizetype length);

// The next hit of the prepared find text, or -1. Downwards the search starts behind the
// selection; upwards it finds only hits that end at or before the selection's start, and
// the whole-word option does not apply.
qsizetype FindNext(QStringView text, QStringView prepared, qsizetype selStart, qsizetype selLength,
                   const FindOptions& options);

struct ReplaceAllResult
{
    QString text;
    qsizetype count = 0;
};

// Replaces every hit from the start of `text` on, going on behind each replacement, so a
// replacement holding the find text is not searched again. The whole-word test sees the
// text as replaced so far ("----", "--" by "b" gives "b--"). The direction is not used.
// Linear in the text plus the characters inserted.
ReplaceAllResult ReplaceAll(QStringView text, QStringView prepared, QStringView replacement,
                            const FindOptions& options);

// The editor's text with every line break written as CR LF, and the positions of both.
class CrLfText
{
  public:
    // `raw`: the editor document's text, blocks separated by U+2029 (or "\n"), lines
    // inside a block by U+2028. A lone CR is taken as a line break too.
    explicit CrLfText(QStringView raw);

    const QString& text() const { return m_text; }
    qsizetype fromEditor(qsizetype editorPos) const;
    // A position between the CR and the LF of a break is rounded down by toEditorStart
    // (before the break) and up by toEditorEnd (behind it).
    qsizetype toEditorStart(qsizetype pos) const;
    qsizetype toEditorEnd(qsizetype pos) const;
    // Whether `pos` falls between the CR and the LF of a break.
    bool insideBreak(qsizetype pos) const;

    // Text for the editor: CR LF, a lone CR and a lone LF each become one "\n".
    static QString toEditorText(QStringView crlf);

  private:
    qsizetype breaksBefore(qsizetype pos) const; // breaks that end at or before pos
    QString m_text;
    std::vector<qsizetype> m_breaks; // position of each break's CR in m_text
};

} // namespace larkspur
