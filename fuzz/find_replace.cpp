// Find and replace in the lyrics editor's text. Input: option bits and a selection, then
// the editor's text, the typed find text and the replacement, split at NUL bytes.

#include "fuzz/FuzzCheck.h"
#include "lyrics/FindReplace.h"

#include <QString>

using namespace larkspur;

namespace {

QString fromBytes(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) return 0;
    const std::uint8_t bits = data[0];
    const auto f = fuzz::fields(fuzz::bytesOf(data + 3, size - 3), 3);
    const QString raw = fromBytes(f[0]);
    const QString typed = fromBytes(f[1]);
    const QString replacement = fromBytes(f[2]);
    FindOptions options;
    options.down = (bits & 1) != 0;
    options.matchCase = (bits & 2) != 0;
    options.wholeWord = (bits & 4) != 0;

    // Editor positions survive the trip through the CR LF text and back.
    const CrLfText crlf(raw);
    const QString& text = crlf.text();
    FUZZ_CHECK(text.size() >= raw.size());
    for (qsizetype p = 0; p <= raw.size(); ++p) {
        const qsizetype at = crlf.fromEditor(p);
        FUZZ_CHECK(at >= 0 && at <= text.size() && !crlf.insideBreak(at));
        FUZZ_CHECK(crlf.toEditorStart(at) == p && crlf.toEditorEnd(at) == p);
    }
    FUZZ_CHECK(CrLfText(CrLfText::toEditorText(text)).text() == text);

    const QString prepared = PrepareFindText(typed, options.matchCase);
    const qsizetype selStart = text.isEmpty() ? 0 : data[1] % (text.size() + 1);
    const qsizetype selLength = text.isEmpty() ? 0 : data[2] % (text.size() - selStart + 1);
    const qsizetype hit = FindNext(text, prepared, selStart, selLength, options);
    if (hit != -1) {
        FUZZ_CHECK(!prepared.isEmpty());
        FUZZ_CHECK(hit >= 0 && hit + prepared.size() <= text.size());
        FUZZ_CHECK(MatchesFindText(QStringView(text).mid(hit, prepared.size()), prepared,
                                   options.matchCase));
        if (options.down) FUZZ_CHECK(hit >= selStart);
        else FUZZ_CHECK(hit + prepared.size() <= selStart);
        if (options.down && options.wholeWord) FUZZ_CHECK(IsWholeWordAt(text, hit, prepared.size()));
    }

    const ReplaceAllResult all = ReplaceAll(text, prepared, replacement, options);
    FUZZ_CHECK(all.count >= 0 && all.count <= text.size());
    if (all.count > 0)
        FUZZ_CHECK(all.text.size() == text.size() + all.count * (replacement.size() - prepared.size()));
    return 0;
}
