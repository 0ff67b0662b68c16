#pragma once
// One parsed HTML page: its text in UTF-8, the gumbo tree, the body's source and its
// rendered text.

#include <string>
#include <string_view>

struct GumboInternalNode;
struct GumboInternalOutput;

namespace larkspur {

class HtmlDocument
{
  public:
    // bytes: the page as received (any charset); headerCharset: the charset of the HTTP
    // Content-Type header, empty for local files. Never fails: any bytes make a document.
    // Markup past the bounds of MarkupBounds.h is cut before parsing (source() shows the cut
    // text), so time and memory stay in proportion to the page's size.
    explicit HtmlDocument(std::string_view bytes, std::string_view headerCharset = {});
    ~HtmlDocument();
    HtmlDocument(const HtmlDocument&) = delete;
    HtmlDocument& operator=(const HtmlDocument&) = delete;

    // The charset the bytes were read in (see detectHtmlCharset).
    const std::string& charset() const { return m_charset; }
    // The whole page in UTF-8, as parsed.
    const std::string& source() const { return m_source; }

    // The body's source between its start and end tags, spelled as the page spells it
    // (case, quotes, entities unchanged), in UTF-8. Without a body start tag it begins at
    // the first piece of body content; without an end tag it runs to the end of the page.
    std::string bodyInnerHtml() const;

    // The body's rendered text with CR LF line breaks (see HtmlRenderer.h).
    std::string bodyInnerText() const;

    // The document node and the body (or frameset) element; body may be null.
    const GumboInternalNode* root() const;
    const GumboInternalNode* body() const;
    bool quirksMode() const;

    // The parser's memory (see HtmlDocument.cpp).
    struct Allocations;

  private:

    std::string m_charset;
    std::string m_source;
    Allocations* m_allocations = nullptr;
    GumboInternalOutput* m_output = nullptr;
};

} // namespace larkspur
