#include "web/PageStyle.h"
#include "web/HtmlText.h"
#include "web/MediaQuery.h"

#include <algorithm>
#include <gumbo.h>

namespace larkspur {

namespace {

using htmltext::isBlank;
using htmltext::lower;
using htmltext::lowered;
using htmltext::trimmed;

// Comments go, and so do "<!--" and "-->": CSS reads them as nothing, so old pages could
// hide their style sheets from browsers that knew no <style>.
std::string withoutComments(std::string_view css)
{
    std::string out;
    out.reserve(css.size());
    size_t pos = 0;
    while (pos < css.size()) {
        const size_t start = css.find_first_of("/<-", pos);
        if (start == std::string_view::npos) {
            out.append(css.substr(pos));
            break;
        }
        out.append(css.substr(pos, start - pos));
        const std::string_view rest = css.substr(start);
        if (rest.starts_with("<!--") || rest.starts_with("-->")) {
            out += ' ';
            pos = start + (rest[0] == '<' ? 4 : 3);
            continue;
        }
        if (!rest.starts_with("/*")) {
            out += css[start];
            pos = start + 1;
            continue;
        }
        out += ' ';
        const size_t end = css.find("*/", start + 2);
        if (end == std::string_view::npos) break;
        pos = end + 2;
    }
    return out;
}

std::string_view firstWord(std::string_view value)
{
    value = trimmed(value);
    size_t end = 0;
    while (end < value.size() && !isBlank(value[end]))
        ++end;
    return value.substr(0, end);
}

DisplayKind displayFrom(const std::string& v)
{
    if (v == "none") return DisplayKind::None;
    if (v == "flex" || v == "grid" || v == "-webkit-box" || v == "-webkit-flex" ||
        v == "-ms-flexbox" || v == "-ms-grid")
        return DisplayKind::FlexBlock;
    if (v == "inline-flex" || v == "inline-grid" || v == "-webkit-inline-box" ||
        v == "-webkit-inline-flex" || v == "-ms-inline-flexbox" || v == "-ms-inline-grid")
        return DisplayKind::FlexInline;
    if (v == "block" || v == "table" || v == "list-item" || v == "flow-root" ||
        v == "table-caption")
        return DisplayKind::Block;
    // "initial" and "unset" give display's initial value, inline, not the tag's default.
    if (v == "inline" || v == "inline-block" || v == "inline-table" || v == "contents" ||
        v == "ruby" || v == "inline-list-item" || v == "run-in" || v == "initial" || v == "unset")
        return DisplayKind::Inline;
    if (v == "revert" || v == "revert-layer") return DisplayKind::Default;
    // Column boxes never render their content.
    if (v == "table-column" || v == "table-column-group") return DisplayKind::None;
    if (v == "table-row") return DisplayKind::TableRow;
    if (v == "table-cell") return DisplayKind::TableCell;
    if (v == "table-row-group" || v == "table-header-group" || v == "table-footer-group")
        return DisplayKind::RowGroup;
    return DisplayKind::Unset;
}

VisibilityKind visibilityFrom(const std::string& v)
{
    if (v == "hidden" || v == "collapse") return VisibilityKind::Hidden;
    if (v == "visible") return VisibilityKind::Visible;
    return VisibilityKind::Unset;
}

TextTransformKind textTransformFrom(const std::string& v)
{
    if (v == "uppercase") return TextTransformKind::Uppercase;
    if (v == "lowercase") return TextTransformKind::Lowercase;
    if (v == "capitalize") return TextTransformKind::Capitalize;
    // full-width and full-size-kana change no letter case.
    if (v == "none" || v == "initial" || v == "full-width" || v == "full-size-kana")
        return TextTransformKind::None;
    if (v == "inherit" || v == "unset" || v == "revert" || v == "revert-layer")
        return TextTransformKind::Inherit;
    return TextTransformKind::Unset;
}

WhiteSpaceKind whiteSpaceFrom(const std::string& v)
{
    if (v == "normal" || v == "nowrap") return WhiteSpaceKind::Collapse;
    if (v == "pre" || v == "pre-wrap" || v == "break-spaces") return WhiteSpaceKind::Preserve;
    if (v == "pre-line") return WhiteSpaceKind::PreserveLines;
    return WhiteSpaceKind::Unset;
}

// Later values replace earlier ones where they are set.
void overlay(ElementStyle& into, const ElementStyle& from)
{
    if (from.display != DisplayKind::Unset) into.display = from.display;
    if (from.visibility != VisibilityKind::Unset) into.visibility = from.visibility;
    if (from.whiteSpace != WhiteSpaceKind::Unset) into.whiteSpace = from.whiteSpace;
    if (from.textTransform != TextTransformKind::Unset) into.textTransform = from.textTransform;
    if (from.floating != FloatKind::Unset) into.floating = from.floating;
}

bool setsAnything(const ElementStyle& s)
{
    return s.display != DisplayKind::Unset || s.visibility != VisibilityKind::Unset ||
           s.whiteSpace != WhiteSpaceKind::Unset || s.textTransform != TextTransformKind::Unset ||
           s.floating != FloatKind::Unset;
}

std::string_view attribute(const GumboElement& el, const char* name)
{
    const GumboAttribute* a = gumbo_get_attribute(&el.attributes, name);
    return a ? std::string_view(a->value) : std::string_view();
}

std::vector<std::string_view> splitClasses(std::string_view value)
{
    std::vector<std::string_view> out;
    size_t pos = 0;
    while (pos < value.size()) {
        while (pos < value.size() && isBlank(value[pos]))
            ++pos;
        const size_t start = pos;
        while (pos < value.size() && !isBlank(value[pos]))
            ++pos;
        if (pos > start) out.push_back(value.substr(start, pos - start));
    }
    return out;
}

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

bool isMediaRule(std::string_view prelude)
{
    return prelude.size() >= 6 && lowered(prelude.substr(0, 6)) == "@media" &&
           (prelude.size() == 6 || !isNameChar(prelude[6]));
}

void collectStyleText(const GumboNode* node, PageStyle& style)
{
    // Iterative: malformed pages can nest elements thousands deep.
    std::vector<const GumboNode*> stack{node};
    while (!stack.empty()) {
        const GumboNode* n = stack.back();
        stack.pop_back();
        if (n->type != GUMBO_NODE_ELEMENT && n->type != GUMBO_NODE_DOCUMENT) continue;
        if (n->type == GUMBO_NODE_ELEMENT) {
            const GumboElement& el = n->v.element;
            if (el.tag_namespace != GUMBO_NAMESPACE_HTML) continue;
            if (el.tag == GUMBO_TAG_STYLE) {
                if (!mediaQueryListMatches(attribute(el, "media"))) continue;
                for (unsigned i = 0; i < el.children.length; ++i) {
                    const auto* child = static_cast<const GumboNode*>(el.children.data[i]);
                    if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE)
                        style.addStyleSheet(child->v.text.text);
                }
                continue;
            }
        }
        const GumboVector& children =
            n->type == GUMBO_NODE_DOCUMENT ? n->v.document.children : n->v.element.children;
        for (unsigned i = children.length; i-- > 0;)
            stack.push_back(static_cast<const GumboNode*>(children.data[i]));
    }
}

} // namespace

DeclaredStyle parseDeclarations(std::string_view declarations)
{
    DeclaredStyle out;
    size_t pos = 0;
    while (pos <= declarations.size()) {
        size_t end = declarations.find(';', pos);
        if (end == std::string_view::npos) end = declarations.size();
        const std::string_view decl = declarations.substr(pos, end - pos);
        pos = end + 1;
        const size_t colon = decl.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string name = lowered(trimmed(decl.substr(0, colon)));
        std::string value = lowered(trimmed(decl.substr(colon + 1)));
        bool important = false;
        if (const size_t bang = value.find('!'); bang != std::string::npos) {
            important = trimmed(std::string_view(value).substr(bang + 1)) == "important";
            value.resize(bang);
        }
        const std::string word(firstWord(value));
        ElementStyle& target = important ? out.important : out.normal;
        if (name == "display") {
            if (DisplayKind d = displayFrom(word); d != DisplayKind::Unset) target.display = d;
            // The two-word forms: "inline flex", "block grid", "grid inline", ...
            const std::string_view second = firstWord(std::string_view(value).substr(word.size()));
            const bool flex =
                word == "flex" || word == "grid" || second == "flex" || second == "grid";
            if (flex && (word == "inline" || second == "inline"))
                target.display = DisplayKind::FlexInline;
            else if (flex && (word == "block" || second == "block"))
                target.display = DisplayKind::FlexBlock;
        } else if (name == "visibility") {
            if (VisibilityKind v = visibilityFrom(word); v != VisibilityKind::Unset)
                target.visibility = v;
        } else if (name == "white-space") {
            if (WhiteSpaceKind w = whiteSpaceFrom(word); w != WhiteSpaceKind::Unset)
                target.whiteSpace = w;
        } else if (name == "text-transform") {
            if (TextTransformKind t = textTransformFrom(word); t != TextTransformKind::Unset)
                target.textTransform = t;
        } else if (name == "float") {
            if (word == "left" || word == "right" || word == "inline-start" || word == "inline-end")
                target.floating = FloatKind::Floated;
            else if (word == "none" || word == "initial" || word == "unset")
                target.floating = FloatKind::None;
        }
    }
    return out;
}

PageStyle PageStyle::fromDocument(const GumboNode* root, bool quirksMode)
{
    PageStyle style;
    style.m_quirks = quirksMode;
    if (root) collectStyleText(root, style);
    return style;
}

std::string PageStyle::key(std::string_view name) const
{
    return m_quirks ? lowered(name) : std::string(name);
}

void PageStyle::addStyleSheet(std::string_view cssText)
{
    const std::string css = withoutComments(cssText);
    size_t pos = 0;
    while (pos < css.size()) {
        const size_t brace = css.find_first_of("{;}", pos);
        if (brace == std::string::npos) break;
        const std::string_view prelude = trimmed(std::string_view(css).substr(pos, brace - pos));
        if (css[brace] != '{') {
            pos = brace + 1; // @import, @charset, the end of an @media block, or a stray character
            continue;
        }
        // The rules of an @media block whose query applies are read as if they stood at the top
        // level; its closing brace is then passed over like a stray one.
        if (isMediaRule(prelude) && mediaQueryListMatches(prelude.substr(6))) {
            pos = brace + 1;
            continue;
        }
        // Find the matching close brace; @-rule blocks may nest.
        size_t depth = 1, end = brace + 1;
        while (end < css.size() && depth > 0) {
            if (css[end] == '{') ++depth;
            if (css[end] == '}') --depth;
            ++end;
        }
        const size_t bodyEnd = depth == 0 ? end - 1 : css.size();
        const std::string_view body = std::string_view(css).substr(brace + 1, bodyEnd - brace - 1);
        pos = end;
        if (prelude.empty() || prelude.front() == '@') continue;

        const DeclaredStyle declared = parseDeclarations(body);
        if (!setsAnything(declared.normal) && !setsAnything(declared.important)) continue;

        size_t selStart = 0;
        while (selStart <= prelude.size()) {
            size_t comma = prelude.find(',', selStart);
            if (comma == std::string_view::npos) comma = prelude.size();
            const std::string_view selector = trimmed(prelude.substr(selStart, comma - selStart));
            selStart = comma + 1;
            if (selector.empty()) continue;

            // Compounds from left to right, each with the combinator before it.
            std::vector<Compound> compounds;
            uint32_t specificity = 0;
            size_t i = 0;
            bool simple = true;
            bool child = false;
            while (simple && i < selector.size()) {
                Compound c;
                c.child = child;
                if (selector[i] == '*') {
                    ++i;
                } else {
                    const size_t start = i;
                    while (i < selector.size() && isNameChar(selector[i]))
                        ++i;
                    c.tag = lowered(selector.substr(start, i - start));
                }
                while (simple && i < selector.size() && !isBlank(selector[i]) &&
                       selector[i] != '>') {
                    const char kind = selector[i++];
                    const size_t start = i;
                    while (i < selector.size() && isNameChar(selector[i]))
                        ++i;
                    const std::string name = key(selector.substr(start, i - start));
                    if (name.empty() || (kind != '.' && kind != '#')) {
                        simple = false;
                    } else if (kind == '.') {
                        c.classes.push_back(name);
                    } else if (c.id.empty() || c.id == name) {
                        c.id = name;
                    } else {
                        simple = false; // two different ids never match
                    }
                }
                const bool empty = c.tag.empty() && c.id.empty() && c.classes.empty() &&
                                   (i == 0 || selector[i - 1] != '*');
                specificity += (c.id.empty() ? 0 : 1u << 20) +
                               (static_cast<uint32_t>(c.classes.size()) << 10) +
                               (c.tag.empty() ? 0 : 1);
                std::sort(c.classes.begin(), c.classes.end());
                compounds.push_back(std::move(c));
                while (i < selector.size() && isBlank(selector[i]))
                    ++i;
                child = i < selector.size() && selector[i] == '>';
                if (child) ++i;
                while (i < selector.size() && isBlank(selector[i]))
                    ++i;
                if (empty || (child && i == selector.size())) simple = false;
            }
            if (!simple || compounds.empty()) continue;
            Compound subject = std::move(compounds.back());
            compounds.pop_back();
            // The subject's own combinator belongs to the compound left of it.
            std::vector<Compound> ancestors;
            bool childOfNext = subject.child;
            for (size_t k = compounds.size(); k-- > 0;) {
                const bool next = compounds[k].child;
                compounds[k].child = childOfNext;
                childOfNext = next;
                ancestors.push_back(std::move(compounds[k]));
            }
            Entry* entry = entryFor(std::move(subject), std::move(ancestors), specificity);
            for (int important = 0; important < 2; ++important) {
                const ElementStyle& values = important ? declared.important : declared.normal;
                if (!setsAnything(values)) continue;
                const uint32_t order = m_nextOrder++;
                if (!entry) continue;
                const uint8_t set[kProperties] = {
                    uint8_t(values.display), uint8_t(values.visibility), uint8_t(values.whiteSpace),
                    uint8_t(values.textTransform), uint8_t(values.floating)};
                for (int p = 0; p < kProperties; ++p) {
                    if (set[p] == 0) continue;
                    entry->value[important][p] = set[p];
                    entry->order[important][p] = order;
                }
            }
        }
    }
}

PageStyle::Entry* PageStyle::entryFor(Compound subject, std::vector<Compound> ancestors,
                                      uint32_t specificity)
{
    std::string selector;
    const auto spell = [&](const Compound& c) {
        selector += c.child ? '>' : ' ';
        selector += c.tag + '\x01' + c.id;
        for (const std::string& name : c.classes)
            selector += '\x01' + name;
    };
    spell(subject);
    for (const Compound& c : ancestors)
        spell(c);
    if (auto it = m_bySelector.find(selector); it != m_bySelector.end())
        return &m_entries[it->second];

    const std::string& tag = subject.tag;
    const std::string& id = subject.id;
    const std::vector<std::string>& classes = subject.classes;
    const int parts = (tag.empty() ? 0 : 1) + (id.empty() ? 0 : 1) + int(classes.size());
    const bool compound = parts > 1 || !ancestors.empty();
    if (compound && m_compoundCount >= kMaxCompoundSelectors) return nullptr;
    const auto index = static_cast<uint32_t>(m_entries.size());
    if (!compound && parts == 0)
        m_universal = index;
    else if (!compound && !id.empty())
        m_byId[id] = index;
    else if (!compound && !classes.empty())
        m_byClass[classes.front()] = index;
    else if (!compound)
        m_byTag[tag] = index;
    else if (!id.empty())
        m_compoundById[id].push_back(index);
    else if (!classes.empty())
        m_compoundByClass[classes.front()].push_back(index);
    else if (!tag.empty())
        m_compoundByTag[tag].push_back(index);
    else
        m_compoundAny.push_back(index);
    if (compound) ++m_compoundCount;
    m_bySelector.emplace(std::move(selector), index);
    Entry& entry = m_entries.emplace_back();
    entry.tag = std::move(subject.tag);
    entry.id = std::move(subject.id);
    entry.classes = std::move(subject.classes);
    entry.ancestors = std::move(ancestors);
    entry.specificity = specificity;
    return &entry;
}

namespace {

std::string tagNameOf(const GumboElement& el)
{
    if (el.tag != GUMBO_TAG_UNKNOWN) return gumbo_normalized_tagname(el.tag);
    GumboStringPiece original = el.original_tag;
    gumbo_tag_from_original_text(&original);
    return lowered(std::string_view(original.data, original.length));
}

const GumboNode* parentElement(const GumboNode* node)
{
    const GumboNode* parent = node->parent;
    return parent && parent->type == GUMBO_NODE_ELEMENT ? parent : nullptr;
}

} // namespace

bool PageStyle::matches(const Entry& entry, std::string_view tag, std::string_view id,
                        const std::vector<std::string>& sortedClasses,
                        const GumboNode* element) const
{
    if (!entry.tag.empty() && entry.tag != tag) return false;
    if (!entry.id.empty() && entry.id != id) return false;
    for (const std::string& wanted : entry.classes) {
        if (!std::binary_search(sortedClasses.begin(), sortedClasses.end(), wanted)) return false;
    }
    // Deep pages and long chains could take a walk per ancestor per compound: a bounded
    // number of steps, past which the rule is taken not to match.
    int budget = 4096;
    return entry.ancestors.empty() || ancestorsMatch(entry, 0, element, budget);
}

// Whether ancestors[k...] match above `element`, trying each ancestor a descendant
// combinator allows.
bool PageStyle::ancestorsMatch(const Entry& entry, size_t k, const GumboNode* element,
                               int& budget) const
{
    if (k == entry.ancestors.size()) return true;
    const Compound& c = entry.ancestors[k];
    for (const GumboNode* p = parentElement(element); p; p = parentElement(p)) {
        if (--budget < 0) return false;
        const GumboElement& el = p->v.element;
        bool ok = c.tag.empty() || c.tag == tagNameOf(el);
        if (ok && !c.id.empty()) ok = c.id == key(attribute(el, "id"));
        if (ok && !c.classes.empty()) {
            std::vector<std::string> have;
            for (std::string_view name : splitClasses(attribute(el, "class")))
                have.push_back(key(name));
            for (const std::string& wanted : c.classes)
                ok = ok && std::find(have.begin(), have.end(), wanted) != have.end();
        }
        if (ok && ancestorsMatch(entry, k + 1, p, budget)) return true;
        if (c.child) return false;
    }
    return false;
}

ElementStyle PageStyle::styleOf(const GumboNode* node) const
{
    ElementStyle result;
    if (!node || node->type != GUMBO_NODE_ELEMENT) return result;
    const GumboElement& el = node->v.element;
    const std::string_view styleAttr = attribute(el, "style");
    if (m_entries.empty() && styleAttr.empty()) return result;

    if (!m_entries.empty()) {
        const std::string tag = tagNameOf(el);
        const std::string id = key(attribute(el, "id"));
        std::vector<std::string> classes;
        for (std::string_view c : splitClasses(attribute(el, "class")))
            classes.push_back(key(c));
        std::sort(classes.begin(), classes.end());
        classes.erase(std::unique(classes.begin(), classes.end()), classes.end());

        // Per importance and property the winner is the matching entry with the highest
        // specificity, then the latest rule; no entry is looked at twice.
        struct Winner
        {
            uint32_t specificity = 0;
            uint32_t order = 0;
            uint8_t value = 0;
        };
        Winner winners[2][kProperties];
        const auto consider = [&](const Entry& e) {
            if (!matches(e, tag, id, classes, node)) return;
            for (int important = 0; important < 2; ++important) {
                for (int p = 0; p < kProperties; ++p) {
                    if (e.value[important][p] == 0) continue;
                    Winner& w = winners[important][p];
                    if (w.value == 0 || e.specificity > w.specificity ||
                        (e.specificity == w.specificity && e.order[important][p] > w.order))
                        w = {e.specificity, e.order[important][p], e.value[important][p]};
                }
            }
        };
        const auto single = [&](const auto& map, const std::string& k) {
            if (k.empty()) return;
            if (auto it = map.find(k); it != map.end()) consider(m_entries[it->second]);
        };
        const auto compound = [&](const auto& map, const std::string& k) {
            if (k.empty()) return;
            if (auto it = map.find(k); it != map.end())
                for (uint32_t index : it->second)
                    consider(m_entries[index]);
        };
        if (m_universal >= 0) consider(m_entries[size_t(m_universal)]);
        single(m_byTag, tag);
        compound(m_compoundByTag, tag);
        for (const uint32_t index : m_compoundAny)
            consider(m_entries[index]);
        single(m_byId, id);
        compound(m_compoundById, id);
        for (const std::string& c : classes) {
            single(m_byClass, c);
            compound(m_compoundByClass, c);
        }

        const auto styleFrom = [&](const Winner(&w)[kProperties]) {
            ElementStyle s;
            s.display = DisplayKind(w[0].value);
            s.visibility = VisibilityKind(w[1].value);
            s.whiteSpace = WhiteSpaceKind(w[2].value);
            s.textTransform = TextTransformKind(w[3].value);
            s.floating = FloatKind(w[4].value);
            return s;
        };
        result = styleFrom(winners[0]);
        const ElementStyle important = styleFrom(winners[1]);
        if (!styleAttr.empty()) {
            const DeclaredStyle inlineStyle = parseDeclarations(styleAttr);
            overlay(result, inlineStyle.normal);
            overlay(result, important);
            overlay(result, inlineStyle.important);
        } else {
            overlay(result, important);
        }
        return result;
    }
    const DeclaredStyle inlineStyle = parseDeclarations(styleAttr);
    overlay(result, inlineStyle.normal);
    overlay(result, inlineStyle.important);
    return result;
}

} // namespace larkspur
