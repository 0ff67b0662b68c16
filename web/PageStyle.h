#pragma once
// The few style properties that decide what a page's rendered text shows: display,
// visibility, white-space, text-transform and float, from the page's own <style> sheets and style
// attributes.

#include "web/TextTransform.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct GumboInternalNode;

namespace larkspur {

// Default: the element's own default display ("revert"), still beating an earlier rule.
enum class DisplayKind : uint8_t {
    Unset,
    Default,
    None,
    Block,
    Inline,
    TableRow,
    TableCell,
    RowGroup,
    // Flex and grid containers, block-level or inline-level: their children are laid out as
    // blocks whatever their own display says.
    FlexBlock,
    FlexInline
};
enum class VisibilityKind : uint8_t { Unset, Visible, Hidden };
enum class WhiteSpaceKind : uint8_t { Unset, Collapse, Preserve, PreserveLines };
// A floated box is block-level whatever its display says.
enum class FloatKind : uint8_t { Unset, None, Floated };

// What the author's styles say about one element; Unset where they say nothing.
struct ElementStyle
{
    DisplayKind display = DisplayKind::Unset;
    VisibilityKind visibility = VisibilityKind::Unset;
    WhiteSpaceKind whiteSpace = WhiteSpaceKind::Unset;
    TextTransformKind textTransform = TextTransformKind::Unset;
    FloatKind floating = FloatKind::Unset;
};

// Rules of the page's style sheets whose selectors are compounds of a tag name or "*" with any
// number of .class and #id parts ("p", ".lyrics", "div#main.hidden"), joined by descendant
// and child combinators (".list-item .hide_text", "ul > li"). Rules inside @media blocks
// count where the query applies to the window (see MediaQuery.h). Rules with other selectors
// (sibling combinators, attributes, pseudo-classes) and everything inside other @-rules
// (@supports, @layer, ...) are left out, so they never hide text.
class PageStyle
{
  public:
    // Reads every <style> element of the parsed document (not those inside <template> or
    // whose media attribute does not apply to the window). quirksMode makes class and id names
    // match without regard to case, as browsers do for such pages.
    static PageStyle fromDocument(const GumboInternalNode* root, bool quirksMode);

    // Adds the rules of one style sheet's text; later rules win ties.
    void addStyleSheet(std::string_view css);

    // The cascaded values for an element: its inline style attribute over the sheets'
    // rules, by importance, specificity and order.
    ElementStyle styleOf(const GumboInternalNode* element) const;

    bool empty() const { return m_entries.empty(); }

    // Distinct selectors of more than one part (".a.b", "p#x") kept per page; beyond it
    // further ones are left out, so an element is checked against a bounded number of them.
    static constexpr size_t kMaxCompoundSelectors = 1024;

  private:
    static constexpr int kProperties = 5;
    struct Compound
    {
        std::string tag; // lower case; empty for any
        std::string id;
        std::vector<std::string> classes; // sorted
        bool child = false;               // the element's parent, not any ancestor
    };
    // Every rule of one selector folded together: per importance and property, the value of
    // the last rule that sets it, with that rule's place in the sheets. They all share the
    // specificity and match the same elements, so the cascade comes out the same.
    struct Entry
    {
        std::string tag; // lower case; empty for any
        std::string id;
        std::vector<std::string> classes; // sorted
        std::vector<Compound> ancestors;  // left of a combinator, nearest first
        uint32_t specificity = 0;
        uint8_t value[2][kProperties] = {};  // [important][property], 0 where unset
        uint32_t order[2][kProperties] = {}; // of the rule that set value
    };

    bool matches(const Entry& entry, std::string_view tag, std::string_view id,
                 const std::vector<std::string>& sortedClasses,
                 const GumboInternalNode* element) const;
    bool ancestorsMatch(const Entry& entry, size_t k, const GumboInternalNode* element,
                        int& budget) const;
    std::string key(std::string_view name) const;
    Entry* entryFor(Compound subject, std::vector<Compound> ancestors, uint32_t specificity);

    std::vector<Entry> m_entries;
    std::unordered_map<std::string, uint32_t> m_bySelector;
    // Selectors of one part: the entry of that tag, id or class, or of "*".
    std::unordered_map<std::string, uint32_t> m_byId;
    std::unordered_map<std::string, uint32_t> m_byClass;
    std::unordered_map<std::string, uint32_t> m_byTag;
    int64_t m_universal = -1;
    // Selectors of more parts, under their id, else their first class.
    std::unordered_map<std::string, std::vector<uint32_t>> m_compoundById;
    std::unordered_map<std::string, std::vector<uint32_t>> m_compoundByClass;
    // Selectors with combinators whose subject has neither: under its tag, or for any.
    std::unordered_map<std::string, std::vector<uint32_t>> m_compoundByTag;
    std::vector<uint32_t> m_compoundAny;
    size_t m_compoundCount = 0;
    uint32_t m_nextOrder = 0;
    bool m_quirks = false;
};

// The values one declaration block sets ("display:none; color:red"), split by importance.
struct DeclaredStyle
{
    ElementStyle normal;
    ElementStyle important;
};
DeclaredStyle parseDeclarations(std::string_view declarations);

} // namespace larkspur
