#include "web/HtmlDocument.h"

#include "web/HtmlCharset.h"
#include "web/HtmlRenderer.h"
#include "web/MarkupBounds.h"

#include <gumbo.h>

#include <cstddef>
#include <cstdlib>

namespace larkspur {

// Every block the parser holds, in a list, so the tree is freed in one loop: gumbo's own
// gumbo_destroy_output recurses once per level and overflows the stack on deep trees.
struct HtmlDocument::Allocations
{
    struct Header
    {
        Header* prev;
        Header* next;
    };
    static_assert(sizeof(Header) % alignof(std::max_align_t) == 0);

    Header head{&head, &head};

    static void* allocate(void* self, size_t size)
    {
        auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + size));
        if (!h) std::abort(); // gumbo cannot unwind; it would crash on a null block anyway
        Header& list = static_cast<Allocations*>(self)->head;
        h->prev = &list;
        h->next = list.next;
        list.next->prev = h;
        list.next = h;
        return h + 1;
    }

    static void release(void*, void* block)
    {
        if (!block) return;
        Header* h = static_cast<Header*>(block) - 1;
        h->prev->next = h->next;
        h->next->prev = h->prev;
        std::free(h);
    }

    ~Allocations()
    {
        for (Header* h = head.next; h != &head;) {
            Header* next = h->next;
            std::free(h);
            h = next;
        }
    }
};

namespace {

GumboOptions parserOptions(void* allocations)
{
    GumboOptions options = kGumboDefaultOptions;
    // Parse errors are of no use here, and recording them all costs time on bad pages.
    options.max_errors = 0;
    options.allocator = &HtmlDocument::Allocations::allocate;
    options.deallocator = &HtmlDocument::Allocations::release;
    options.userdata = allocations;
    return options;
}

// Offset in the source where a node's own text begins; npos for nodes the parser invented
// that have no content of their own.
size_t sourceStart(const GumboNode* node, const char* base)
{
    while (node) {
        switch (node->type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
        case GUMBO_NODE_COMMENT:
            return static_cast<size_t>(node->v.text.original_text.data - base);
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE:
            if (node->v.element.original_tag.length > 0)
                return static_cast<size_t>(node->v.element.original_tag.data - base);
            node = node->v.element.children.length > 0
                       ? static_cast<const GumboNode*>(node->v.element.children.data[0])
                       : nullptr;
            break;
        default:
            return std::string::npos;
        }
    }
    return std::string::npos;
}

bool endsWithNoCase(std::string_view text, std::string_view tail)
{
    if (text.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        char c = text[text.size() - tail.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[i]) return false;
    }
    return true;
}

} // namespace

HtmlDocument::HtmlDocument(std::string_view page, std::string_view headerCharset)
{
    const std::string_view bytes = page.substr(0, MarkupBounds{}.maxBytes);
    m_charset = detectHtmlCharset(bytes, headerCharset);
    m_source = decodeToUtf8(bytes, m_charset);
    boundMarkup(m_source);
    m_allocations = new Allocations;
    const GumboOptions options = parserOptions(m_allocations);
    m_output = gumbo_parse_with_options(&options, m_source.data(), m_source.size());
}

HtmlDocument::~HtmlDocument()
{
    delete m_allocations; // the whole tree with it
}

const GumboNode* HtmlDocument::root() const
{
    return m_output ? m_output->document : nullptr;
}

bool HtmlDocument::quirksMode() const
{
    return m_output && m_output->document->v.document.doc_type_quirks_mode == GUMBO_DOCTYPE_QUIRKS;
}

const GumboNode* HtmlDocument::body() const
{
    if (!m_output || !m_output->root || m_output->root->type != GUMBO_NODE_ELEMENT) return nullptr;
    const GumboVector& children = m_output->root->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (child->type == GUMBO_NODE_ELEMENT &&
            (child->v.element.tag == GUMBO_TAG_BODY || child->v.element.tag == GUMBO_TAG_FRAMESET))
            return child;
    }
    return nullptr;
}

std::string HtmlDocument::bodyInnerHtml() const
{
    const GumboNode* node = body();
    if (!node) return {};
    const GumboElement& el = node->v.element;
    const char* base = m_source.data();

    size_t begin = std::string::npos;
    if (el.original_tag.length > 0) {
        begin = static_cast<size_t>(el.original_tag.data - base) + el.original_tag.length;
    } else {
        for (unsigned i = 0; i < el.children.length && begin == std::string::npos; ++i)
            begin = sourceStart(static_cast<const GumboNode*>(el.children.data[i]), base);
    }
    if (begin == std::string::npos || begin > m_source.size()) return {};

    size_t end = m_source.size();
    if (el.original_end_tag.length > 0) {
        end = static_cast<size_t>(el.original_end_tag.data - base);
        // Elements or text after "</body>" still belong to the body; then its source runs
        // on. Comments and white space there do not count.
        const size_t endTag = end;
        for (unsigned i = el.children.length; i-- > 0;) {
            const auto* child = static_cast<const GumboNode*>(el.children.data[i]);
            const size_t start = sourceStart(child, base);
            if (start == std::string::npos || start < endTag) break;
            if (child->type == GUMBO_NODE_ELEMENT || child->type == GUMBO_NODE_TEXT) {
                end = m_source.size();
                break;
            }
        }
    }
    if (end == m_source.size()) {
        // A page without "</body>" (or with content after it) still ends in "</html>".
        std::string_view rest = std::string_view(m_source).substr(begin);
        while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\n' || rest.back() == '\r' ||
                                 rest.back() == '\t'))
            rest.remove_suffix(1);
        if (endsWithNoCase(rest, "</html>")) end = begin + rest.size() - 7;
    }
    if (end < begin) return {};
    return m_source.substr(begin, end - begin);
}

std::string HtmlDocument::bodyInnerText() const
{
    std::string text = renderBodyText(*this);
    // The parser turns a numeric reference too long for its counter into one stray byte;
    // browsers show such a reference as U+FFFD, and so does the repair.
    if (!isValidUtf8(text)) text = decodeToUtf8(text, "UTF-8");
    return text;
}

} // namespace larkspur
