#include "web/HtmlRenderer.h"

#include "web/HtmlDocument.h"
#include "web/PageStyle.h"

#include <gumbo.h>
#include <vector>

namespace larkspur {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Builds the text from pieces and the line breaks blocks ask for. A run of requested breaks
// becomes the largest of them, and none are written before the first or after the last text.
class TextCollector
{
  public:
    void requireBreaks(int count)
    {
        if (count > m_pendingBreaks) m_pendingBreaks = count;
        newLine();
    }

    void lineBreak()
    {
        flush();
        m_out += "\r\n";
        m_any = true;
        newLine();
    }

    void tab()
    {
        flush();
        m_out += '\t';
        m_any = true;
        newLine(); // a cell's leading spaces are dropped like a line's
    }

    void text(std::string_view t, WhiteSpaceKind mode, TextTransformKind transform)
    {
        size_t pos = 0;
        while (pos < t.size()) {
            const char c = t[pos];
            if (c == '\r' || c == '\n') {
                if (mode == WhiteSpaceKind::Collapse) {
                    if (m_lineHasText) m_space = true;
                } else if (!(c == '\r' && pos + 1 < t.size() && t[pos + 1] == '\n')) {
                    lineBreak();
                }
                ++pos;
            } else if (isSpace(c) && mode != WhiteSpaceKind::Preserve) {
                if (m_lineHasText) m_space = true;
                ++pos;
            } else {
                size_t end = pos + 1;
                while (end < t.size() && t[end] != '\n' && t[end] != '\r' &&
                       (mode == WhiteSpaceKind::Preserve || !isSpace(t[end])))
                    ++end;
                write(t.substr(pos, end - pos), transform);
                pos = end;
            }
        }
    }

    std::string take() { return std::move(m_out); }

  private:
    void newLine()
    {
        m_space = false;
        m_lineHasText = false;
    }

    void flush()
    {
        if (m_pendingBreaks > 0 && m_any)
            for (int i = 0; i < m_pendingBreaks; ++i)
                m_out += "\r\n";
        m_pendingBreaks = 0;
    }

    void write(std::string_view run, TextTransformKind transform)
    {
        flush();
        // A word goes on across elements, unless white space or a new line came between.
        bool wordStart = m_space || !m_lineHasText || !m_inWord;
        if (m_space) m_out += ' ';
        appendTransformed(m_out, run, transform, wordStart);
        m_inWord = !wordStart;
        m_space = false;
        m_lineHasText = true;
        m_any = true;
    }

    std::string m_out;
    int m_pendingBreaks = 0;
    bool m_space = false;
    bool m_lineHasText = false;
    bool m_inWord = false;
    bool m_any = false;
};

// Elements whose content a browser never shows as text here: metadata, scripts, embedded
// content that has its own rendering, and form controls.
bool isNeverRendered(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_META:
    case GUMBO_TAG_LINK:
    case GUMBO_TAG_BASE:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_DATALIST:
    case GUMBO_TAG_PARAM:
    case GUMBO_TAG_AREA:
    case GUMBO_TAG_RP:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_FRAME:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_VIDEO:
    case GUMBO_TAG_AUDIO:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_SELECT:
    case GUMBO_TAG_INPUT:
    case GUMBO_TAG_IMG:
        return true;
    default:
        return false;
    }
}

DisplayKind defaultDisplay(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_BODY:
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_CENTER:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_FIGURE:
    case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_FORM:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_LEGEND:
    case GUMBO_TAG_LISTING:
    case GUMBO_TAG_MAIN:
    case GUMBO_TAG_P:
    case GUMBO_TAG_PLAINTEXT:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_HGROUP:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_DIR:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_MENU:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_FIELDSET:
    case GUMBO_TAG_DETAILS:
    case GUMBO_TAG_SUMMARY:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_OPTGROUP:
    case GUMBO_TAG_OPTION:
    case GUMBO_TAG_FRAMESET:
        return DisplayKind::Block;
    case GUMBO_TAG_TR:
        return DisplayKind::TableRow;
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
        return DisplayKind::TableCell;
    case GUMBO_TAG_THEAD:
    case GUMBO_TAG_TBODY:
    case GUMBO_TAG_TFOOT:
        return DisplayKind::RowGroup;
    default:
        return DisplayKind::Inline;
    }
}

WhiteSpaceKind defaultWhiteSpace(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_LISTING:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_PLAINTEXT:
        return WhiteSpaceKind::Preserve;
    default:
        return WhiteSpaceKind::Unset;
    }
}

bool hasAttribute(const GumboElement& el, const char* name)
{
    return gumbo_get_attribute(&el.attributes, name) != nullptr;
}

// Name of a tag the parser does not know (it reports them as unknown), lower case.
std::string unknownTagName(const GumboElement& el)
{
    GumboStringPiece original = el.original_tag;
    gumbo_tag_from_original_text(&original);
    std::string name(original.data ? original.data : "", original.length);
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return name;
}

struct Resolved
{
    DisplayKind display = DisplayKind::Inline; // never FlexBlock or FlexInline
    bool flexContainer = false;                // flex or grid: its children are blocks
    ElementStyle author;
};

// The display an element ends up with: never-rendered and foreign elements are gone, the
// hidden attribute hides unless the page's styles give a display of their own, and a shown
// child of a flex or grid container, like a float, is a block ("blockified"), so an A-Z menu of
// links laid out by flex reads one letter a line, as a browser's innerText gives it.
Resolved resolve(const GumboNode* node, const PageStyle& style, bool inFlexContainer = false)
{
    Resolved r;
    const GumboElement& el = node->v.element;
    if (el.tag_namespace == GUMBO_NAMESPACE_SVG) {
        r.display = DisplayKind::None;
        return r;
    }
    if (el.tag_namespace == GUMBO_NAMESPACE_HTML && isNeverRendered(el.tag)) {
        r.display = DisplayKind::None;
        return r;
    }
    r.author = style.styleOf(node);
    DisplayKind display =
        el.tag_namespace == GUMBO_NAMESPACE_HTML ? defaultDisplay(el.tag) : DisplayKind::Inline;
    if (hasAttribute(el, "hidden")) display = DisplayKind::None;
    if (el.tag == GUMBO_TAG_UNKNOWN && el.tag_namespace == GUMBO_NAMESPACE_HTML) {
        // Newer elements this parser does not name.
        const std::string name = unknownTagName(el);
        if (name == "dialog")
            display = hasAttribute(el, "open") ? DisplayKind::Block : DisplayKind::None;
        else if (name == "search")
            display = DisplayKind::Block;
    }
    if (r.author.display != DisplayKind::Unset && r.author.display != DisplayKind::Default)
        display = r.author.display;
    if (display == DisplayKind::FlexBlock || display == DisplayKind::FlexInline) {
        r.flexContainer = true;
        display = display == DisplayKind::FlexBlock ? DisplayKind::Block : DisplayKind::Inline;
    }
    // A float's box is blockified as a flex item's is.
    const bool floated = r.author.floating == FloatKind::Floated;
    if ((inFlexContainer || floated) && display != DisplayKind::None) display = DisplayKind::Block;
    r.display = display;
    return r;
}

// Whether a later sibling of a cell is another shown cell of the same row.
bool hasFollowingCell(const GumboNode* cell, const PageStyle& style)
{
    const GumboNode* parent = cell->parent;
    if (!parent || parent->type != GUMBO_NODE_ELEMENT) return false;
    const GumboVector& siblings = parent->v.element.children;
    for (unsigned i = cell->index_within_parent + 1; i < siblings.length; ++i) {
        const auto* sibling = static_cast<const GumboNode*>(siblings.data[i]);
        if (sibling->type != GUMBO_NODE_ELEMENT) continue;
        const DisplayKind d = resolve(sibling, style).display;
        if (d == DisplayKind::None) continue;
        return d == DisplayKind::TableCell;
    }
    return false;
}

struct Frame
{
    const GumboNode* node;
    unsigned nextChild;
    DisplayKind display;
    bool flexContainer;
    bool visible;
    bool closedDetails;
    WhiteSpaceKind whiteSpace;
    TextTransformKind textTransform;
};

// text-transform is inherited: an element without a value of its own takes its parent's.
TextTransformKind inheritedTransform(TextTransformKind own, TextTransformKind parent)
{
    return own == TextTransformKind::Unset || own == TextTransformKind::Inherit ? parent : own;
}

} // namespace

std::string renderBodyText(const HtmlDocument& document)
{
    const GumboNode* body = document.body();
    if (!body) return {};
    const PageStyle style = PageStyle::fromDocument(document.root(), document.quirksMode());

    // What the body inherits from the html element.
    bool visible = true;
    WhiteSpaceKind whiteSpace = WhiteSpaceKind::Collapse;
    TextTransformKind transform = TextTransformKind::None;
    if (const GumboNode* html = body->parent; html && html->type == GUMBO_NODE_ELEMENT) {
        const Resolved r = resolve(html, style);
        if (r.display == DisplayKind::None) return {};
        if (r.author.visibility != VisibilityKind::Unset)
            visible = r.author.visibility == VisibilityKind::Visible;
        if (r.author.whiteSpace != WhiteSpaceKind::Unset) whiteSpace = r.author.whiteSpace;
        transform = inheritedTransform(r.author.textTransform, transform);
    }

    TextCollector out;
    std::vector<Frame> stack;

    const auto enter = [&](const GumboNode* node, const Frame* parent) {
        const Resolved r = resolve(node, style, parent && parent->flexContainer);
        if (r.display == DisplayKind::None) return;
        const GumboElement& el = node->v.element;
        const bool html = el.tag_namespace == GUMBO_NAMESPACE_HTML;
        Frame f{
            node,
            0,
            r.display,
            r.flexContainer,
            parent ? parent->visible : visible,
            false,
            parent ? parent->whiteSpace : whiteSpace,
            inheritedTransform(r.author.textTransform, parent ? parent->textTransform : transform)};
        if (r.author.visibility != VisibilityKind::Unset)
            f.visible = r.author.visibility == VisibilityKind::Visible;
        if (html && defaultWhiteSpace(el.tag) != WhiteSpaceKind::Unset)
            f.whiteSpace = defaultWhiteSpace(el.tag);
        if (r.author.whiteSpace != WhiteSpaceKind::Unset) f.whiteSpace = r.author.whiteSpace;
        f.closedDetails = html && el.tag == GUMBO_TAG_DETAILS && !hasAttribute(el, "open");
        if (f.visible) {
            if (html && el.tag == GUMBO_TAG_BR) {
                out.lineBreak();
                return;
            }
            if (html && el.tag == GUMBO_TAG_P)
                out.requireBreaks(2);
            else if (f.display == DisplayKind::Block)
                out.requireBreaks(1);
        }
        stack.push_back(f);
    };

    const auto leave = [&](const Frame& f) {
        if (!f.visible) return;
        const GumboElement& el = f.node->v.element;
        if (el.tag_namespace == GUMBO_NAMESPACE_HTML && el.tag == GUMBO_TAG_P)
            out.requireBreaks(2);
        else if (f.display == DisplayKind::Block || f.display == DisplayKind::TableRow)
            out.requireBreaks(1);
        else if (f.display == DisplayKind::TableCell && hasFollowingCell(f.node, style))
            out.tab();
    };

    enter(body, nullptr);
    while (!stack.empty()) {
        Frame& top = stack.back();
        const GumboVector& children = top.node->v.element.children;
        if (top.nextChild >= children.length) {
            const Frame done = top;
            stack.pop_back();
            leave(done);
            continue;
        }
        const auto* child = static_cast<const GumboNode*>(children.data[top.nextChild++]);
        // A closed <details> shows only its summary.
        if (top.closedDetails &&
            !(child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == GUMBO_TAG_SUMMARY &&
              child->v.element.tag_namespace == GUMBO_NAMESPACE_HTML))
            continue;
        switch (child->type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
            if (top.visible) out.text(child->v.text.text, top.whiteSpace, top.textTransform);
            break;
        case GUMBO_NODE_ELEMENT:
            enter(child, &top);
            break;
        default:
            break; // comments and templates
        }
    }
    return out.take();
}

std::string renderInnerText(std::string_view bytes, std::string_view headerCharset)
{
    const HtmlDocument document(bytes, headerCharset);
    return document.bodyInnerText();
}

} // namespace larkspur
