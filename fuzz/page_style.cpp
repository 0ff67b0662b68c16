// Style sheets and style attributes: PageStyle::addStyleSheet, parseDeclarations and the
// cascade over a small fixed page whose last element carries the input as its style.

#include "fuzz/FuzzCheck.h"
#include "web/HtmlDocument.h"
#include "web/PageStyle.h"

#include <gumbo.h>

#include <string>

using namespace larkspur;

namespace {

bool inRange(const ElementStyle& s)
{
    return s.display <= DisplayKind::FlexInline && s.visibility <= VisibilityKind::Hidden &&
           s.whiteSpace <= WhiteSpaceKind::PreserveLines &&
           s.textTransform <= TextTransformKind::Capitalize && s.floating <= FloatKind::Floated;
}

bool same(const ElementStyle& a, const ElementStyle& b)
{
    return a.display == b.display && a.visibility == b.visibility && a.whiteSpace == b.whiteSpace &&
           a.textTransform == b.textTransform && a.floating == b.floating;
}

std::string attributeText(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

void visit(const PageStyle& style, const GumboNode* node, int& elements)
{
    if (node->type != GUMBO_NODE_ELEMENT) return;
    ++elements;
    FUZZ_CHECK(inRange(style.styleOf(node)));
    const GumboVector& children = node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i)
        visit(style, static_cast<const GumboNode*>(children.data[i]), elements);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view css = fuzz::bytesOf(data, size);

    const DeclaredStyle declared = parseDeclarations(css);
    FUZZ_CHECK(inRange(declared.normal) && inRange(declared.important));
    const DeclaredStyle again = parseDeclarations(css);
    FUZZ_CHECK(same(declared.normal, again.normal) && same(declared.important, again.important));

    const std::string page = "<!doctype html><html><body><div id=main class=\"lyrics Hidden\">"
                             "<p class=verse>la <b>la</b></p><pre>x</pre></div>"
                             "<table><tr><td>cell</td></tr></table><span style=\"" +
                             attributeText(css) + "\">s</span></body></html>";
    const HtmlDocument doc(page, "utf-8");
    FUZZ_CHECK(doc.body() != nullptr);
    PageStyle style;
    style.addStyleSheet(css);
    style.addStyleSheet("p { display: block }");
    style.addStyleSheet(css);
    int elements = 0;
    visit(style, doc.body(), elements);
    FUZZ_CHECK(elements >= 8);
    return 0;
}
