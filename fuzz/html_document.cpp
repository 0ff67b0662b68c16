// A page as it arrives: charset detection and decoding, gumbo's tree, the body's source and
// its rendered text. Input: an optional header charset of up to 40 bytes ended by a NUL,
// then the page's bytes.

#include "fuzz/FuzzCheck.h"
#include "web/HtmlDocument.h"

#include <string>

using namespace larkspur;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes = fuzz::bytesOf(data, size);
    std::string_view headerCharset;
    if (const auto nul = bytes.substr(0, 41).find('\0'); nul != std::string_view::npos) {
        headerCharset = bytes.substr(0, nul);
        bytes.remove_prefix(nul + 1);
    }

    const HtmlDocument doc(bytes, headerCharset);
    FUZZ_CHECK(!doc.charset().empty());
    FUZZ_CHECK(fuzz::isUtf8(doc.source()));
    FUZZ_CHECK(doc.root() != nullptr);

    const std::string html = doc.bodyInnerHtml();
    FUZZ_CHECK(doc.source().find(html) != std::string::npos);
    FUZZ_CHECK(fuzz::isUtf8(html));

    const std::string text = doc.bodyInnerText();
    FUZZ_CHECK(fuzz::isUtf8(text));
    // Line breaks are CR LF and nothing else.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') FUZZ_CHECK(i + 1 < text.size() && text[i + 1] == '\n');
        if (text[i] == '\n') FUZZ_CHECK(i > 0 && text[i - 1] == '\r');
    }
    if (!doc.body()) FUZZ_CHECK(text.empty() && html.empty());
    return 0;
}
