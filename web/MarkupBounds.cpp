#include "web/MarkupBounds.h"

#include "web/HtmlText.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace larkspur {

namespace {

using htmltext::isBlank;
using htmltext::lower;
constexpr size_t npos = std::string::npos;

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool oneOf(std::string_view name, std::initializer_list<std::string_view> names)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool isVoid(std::string_view n)
{
    return oneOf(n, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta",
                     "param", "source", "track", "wbr", "keygen", "basefont", "bgsound", "frame",
                     "image"});
}

// Elements whose content is read as text up to their end tag.
bool isRawText(std::string_view n)
{
    return oneOf(n,
                 {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"});
}

// End tags do not reach past these; an end tag without its element below one is ignored.
bool isScopeBoundary(std::string_view n)
{
    return oneOf(n, {"applet", "caption", "html", "table", "td", "th", "marquee", "object",
                     "template", "svg", "math"});
}

bool closesParagraph(std::string_view n)
{
    return oneOf(n,
                 {"address", "article", "aside",   "blockquote", "center",     "details", "dialog",
                  "dir",     "div",     "dl",      "fieldset",   "figcaption", "figure",  "footer",
                  "form",    "h1",      "h2",      "h3",         "h4",         "h5",      "h6",
                  "header",  "hgroup",  "hr",      "main",       "menu",       "nav",     "ol",
                  "p",       "pre",     "section", "summary",    "table",      "ul",      "li",
                  "dd",      "dt",      "listing", "xmp",        "plaintext",  "search"});
}

// The parser keeps one of each and never nests them.
bool isDocumentLevel(std::string_view n)
{
    return oneOf(n, {"html", "head", "body", "frameset"});
}

bool isHeading(std::string_view n)
{
    return n.size() == 2 && n[0] == 'h' && n[1] >= '1' && n[1] <= '6';
}

class Scanner
{
  public:
    Scanner(std::string& source, const MarkupBounds& bounds) : m_src(source), m_bounds(bounds) {}

    MarkupCuts run()
    {
        if (m_src.size() > m_bounds.maxBytes) {
            size_t at = m_bounds.maxBytes;
            while (at > 0 && (static_cast<unsigned char>(m_src[at]) & 0xC0) == 0x80)
                --at;
            m_cuts.bytesCut = m_src.size() - at;
            m_src.resize(at);
        }
        const size_t n = m_src.size();
        size_t pos = 0;
        while (pos < n) {
            const size_t lt = m_src.find('<', pos);
            if (lt == npos || lt + 1 >= n) break;
            const char c = m_src[lt + 1];
            if (m_src.compare(lt, 4, "<!--") == 0) {
                size_t end;
                if (m_src.compare(lt + 4, 1, ">") == 0)
                    end = lt + 5;
                else if (m_src.compare(lt + 4, 2, "->") == 0)
                    end = lt + 6;
                else if (const size_t close = m_src.find("-->", lt + 4); close != npos)
                    end = close + 3;
                else
                    end = n;
                pos = comment(lt, end);
            } else if (c == '!' || c == '?') {
                const size_t close = m_src.find('>', lt + 2);
                pos = comment(lt, close == npos ? n : close + 1);
            } else if (c == '/' && lt + 2 < n && isAsciiLetter(m_src[lt + 2])) {
                pos = endTag(lt);
            } else if (isAsciiLetter(c)) {
                pos = startTag(lt);
            } else {
                pos = lt + 1;
            }
        }
        if (m_rewriting) {
            m_out.append(m_src, m_copied, npos);
            m_src = std::move(m_out);
        }
        return m_cuts;
    }

  private:
    // Leaves [from, to) out of the result.
    void cut(size_t from, size_t to)
    {
        if (!m_rewriting) {
            m_rewriting = true;
            m_out.reserve(m_src.size());
        }
        m_out.append(m_src, m_copied, from - m_copied);
        m_copied = to;
    }

    bool full() const { return m_nodes >= m_bounds.maxNodes; }

    size_t comment(size_t lt, size_t end)
    {
        if (full()) {
            cut(lt, end);
            ++m_cuts.tagsDropped;
        } else {
            ++m_nodes;
        }
        return end;
    }

    size_t nameEnd(size_t p) const
    {
        while (p < m_src.size() && !isBlank(m_src[p]) && m_src[p] != '/' && m_src[p] != '>')
            ++p;
        return p;
    }

    std::string nameAt(size_t from, size_t to) const
    {
        std::string name = m_src.substr(from, to - from);
        for (char& ch : name)
            ch = lower(ch);
        return name;
    }

    void skipBlanks(size_t& p) const
    {
        while (p < m_src.size() && isBlank(m_src[p]))
            ++p;
    }

    // Reads a tag's attributes as the tokenizer does; returns the position of its '>', or the
    // end of the source. `count` gets how many there are, `cutFrom` where the first one past
    // the bound starts.
    size_t attributes(size_t p, size_t& count, size_t& cutFrom) const
    {
        const size_t n = m_src.size();
        while (p < n) {
            while (p < n && (isBlank(m_src[p]) || m_src[p] == '/'))
                ++p;
            if (p >= n || m_src[p] == '>') return p;
            if (++count == size_t(m_bounds.maxAttributes) + 1) cutFrom = p;
            ++p; // a name may begin with '='
            while (p < n && !isBlank(m_src[p]) && m_src[p] != '/' && m_src[p] != '>' &&
                   m_src[p] != '=')
                ++p;
            skipBlanks(p);
            if (p < n && m_src[p] == '=') {
                ++p;
                skipBlanks(p);
                if (p < n && (m_src[p] == '"' || m_src[p] == '\'')) {
                    const size_t q = m_src.find(m_src[p], p + 1);
                    p = q == npos ? n : q + 1;
                } else {
                    while (p < n && !isBlank(m_src[p]) && m_src[p] != '>')
                        ++p;
                }
            }
        }
        return n;
    }

    // Where "</name" (followed by a blank, '/' or '>') starts after `from`, or the end.
    size_t endTagOf(const std::string& name, size_t from) const
    {
        const size_t n = m_src.size();
        for (size_t p = m_src.find("</", from); p != npos; p = m_src.find("</", p + 2)) {
            size_t i = 0;
            while (i < name.size() && p + 2 + i < n && lower(m_src[p + 2 + i]) == name[i])
                ++i;
            if (i == name.size() && (p + 2 + i >= n || isBlank(m_src[p + 2 + i]) ||
                                     m_src[p + 2 + i] == '/' || m_src[p + 2 + i] == '>'))
                return p;
        }
        return n;
    }

    // Index of the nearest open element named one of `names`, not looking past `stop` or a
    // scope boundary; npos when there is none.
    size_t findOpen(std::initializer_list<std::string_view> names,
                    std::initializer_list<std::string_view> stop = {}) const
    {
        if (std::none_of(names.begin(), names.end(),
                         [&](std::string_view n) { return anyOpen(n); }))
            return npos;
        for (size_t i = m_open.size(); i-- > 0;) {
            if (oneOf(m_open[i].name, names)) return i;
            if (m_open[i].boundary || oneOf(m_open[i].name, stop)) return npos;
        }
        return npos;
    }

    void closeAt(size_t i)
    {
        if (i != npos) popTo(i);
    }

    // The elements the parser closes or opens by itself before this one.
    void impliedEnds(const std::string& name)
    {
        if (closesParagraph(name)) closeAt(findOpen({"p"}, {"button"}));
        if (name == "li") closeAt(findOpen({"li"}, {"ol", "ul"}));
        if (name == "dd" || name == "dt") closeAt(findOpen({"dd", "dt"}, {"dl"}));
        const auto top = [&] { return m_open.empty() ? std::string_view() : m_open.back().name; };
        if (isHeading(name) && isHeading(top())) popTo(m_open.size() - 1);
        if (name == "option" || name == "optgroup") {
            if (top() == "option") popTo(m_open.size() - 1);
            if (name == "optgroup" && top() == "optgroup") popTo(m_open.size() - 1);
        }
        if (name == "a" || name == "nobr" || name == "button") closeAt(findOpen({name}));
        const bool row = name == "tr";
        const bool cell = name == "td" || name == "th";
        if ((row || cell || oneOf(name, {"tbody", "thead", "tfoot", "caption", "colgroup"})) &&
            anyOpen("table")) {
            // Back to the table (or its row group, or row), adding the parts a table needs.
            for (size_t i = m_open.size(); i-- > 0;) {
                const std::string_view o = m_open[i].name;
                if (cell && o == "tr") {
                    popTo(i + 1);
                    return;
                }
                if ((row || cell) && oneOf(o, {"tbody", "thead", "tfoot"})) {
                    popTo(i + 1);
                    if (cell) push("tr");
                    return;
                }
                if (o == "table") {
                    popTo(i + 1);
                    if (row || cell) push("tbody");
                    if (cell) push("tr");
                    return;
                }
                if (o == "template" || o == "html") return;
            }
        }
    }

    size_t startTag(size_t lt)
    {
        const size_t n = m_src.size();
        const size_t nameStop = nameEnd(lt + 1);
        const std::string name = nameAt(lt + 1, nameStop);
        size_t count = 0;
        size_t cutFrom = npos;
        const size_t close = attributes(nameStop, count, cutFrom);
        if (close >= n) return n; // the parser drops a tag the page never closes
        const bool selfClosing = m_src[close - 1] == '/';
        const size_t end = close + 1;
        const bool raw = isRawText(name);

        if (full()) {
            cut(lt, end);
            ++m_cuts.tagsDropped;
            if (name == "plaintext") return n;
            if (!raw) return end;
            const size_t content = endTagOf(name, end);
            if (name == "xmp") return content; // shown as text: keep it
            const size_t after = content < n ? nameEnd(content + 2) : n;
            const size_t tail = after < n ? m_src.find('>', after) : npos;
            const size_t stop = tail == npos ? n : tail + 1;
            cut(end, stop);
            ++m_cuts.tagsDropped;
            return stop;
        }
        ++m_nodes;

        const bool known = !isDocumentLevel(name) && !raw && name != "plaintext";
        if (known) impliedEnds(name);
        const bool opens =
            known && !isVoid(name) && !(selfClosing && (anyOpen("svg") || anyOpen("math")));
        if (opens && m_open.size() >= m_bounds.maxDepth) {
            cut(lt, end);
            ++m_cuts.tagsDropped;
            ++m_dropped[name];
            return end;
        }
        if (cutFrom != npos) {
            m_cuts.attributesDropped += count - m_bounds.maxAttributes;
            cut(cutFrom, selfClosing ? close - 1 : close);
        }
        if (opens) push(name);
        if (name == "plaintext") return n;
        // Raw text is never markup; its end tag closes it.
        return raw ? endTagOf(name, end) : end;
    }

    bool anyOpen(std::string_view name) const
    {
        const auto it = m_count.find(std::string(name));
        return it != m_count.end() && it->second > 0;
    }

    void push(const std::string& name)
    {
        m_open.push_back({name, isScopeBoundary(name)});
        ++m_count[name];
    }

    void popTo(size_t size)
    {
        while (m_open.size() > size) {
            --m_count[m_open.back().name];
            m_open.pop_back();
        }
    }

    size_t endTag(size_t lt)
    {
        const size_t nameStop = nameEnd(lt + 2);
        const std::string name = nameAt(lt + 2, nameStop);
        size_t count = 0;
        size_t cutFrom = npos;
        const size_t close = attributes(nameStop, count, cutFrom);
        if (close >= m_src.size()) return m_src.size();
        const size_t end = close + 1;
        if (auto it = m_dropped.find(name); it != m_dropped.end() && it->second > 0) {
            --it->second;
            cut(lt, end);
            ++m_cuts.tagsDropped;
            return end;
        }
        if (isDocumentLevel(name)) return end;
        // Table parts close what is open inside them, cells included.
        const bool tablePart =
            oneOf(name, {"table", "tbody", "thead", "tfoot", "tr", "td", "th", "caption"});
        for (size_t i = anyOpen(name) ? m_open.size() : 0; i-- > 0;) {
            const std::string_view open = m_open[i].name;
            if (open == name) {
                popTo(i);
                return end;
            }
            if (tablePart ? oneOf(open, {"table", "html", "template"}) : m_open[i].boundary) break;
        }
        // Closes nothing; past the bound on elements, even such a tag may make one ("</p>").
        if (full()) {
            cut(lt, end);
            ++m_cuts.tagsDropped;
        }
        return end;
    }

    std::string& m_src;
    const MarkupBounds& m_bounds;
    MarkupCuts m_cuts;
    std::string m_out;
    size_t m_copied = 0;
    bool m_rewriting = false;
    size_t m_nodes = 0;
    struct Open
    {
        std::string name;
        bool boundary; // see isScopeBoundary
    };
    std::vector<Open> m_open;
    std::unordered_map<std::string, size_t> m_count; // open elements by name
    std::unordered_map<std::string, size_t> m_dropped;
};

} // namespace

MarkupCuts boundMarkup(std::string& source, const MarkupBounds& bounds)
{
    return Scanner(source, bounds).run();
}

} // namespace larkspur
