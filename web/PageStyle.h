#pragma once
// The few style properties that decide what a page's rendered text shows: display,
// visibility, white-space and text-transform, from the page's own <style> sheets and style
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
    RowGroup
};
enum class VisibilityKind : uint8_t { Unset, Visible, Hidden };
enum class WhiteSpaceKind : uint8_t { Unset, Collapse, Preserve, PreserveLines };

// What the author's styles say about one element; Unset where they say nothing.
struct ElementStyle
{
    DisplayKind display = DisplayKind::Unset;
    VisibilityKind visibility = VisibilityKind::Unset;
    WhiteSpaceKind whiteSpace = WhiteSpaceKind::Unset;
    TextTransformKind textTransform = TextTransformKind::Unset;
};

// Rules of the page's style sheets whose selectors are simple: a tag name or "*", with any
// number of .class and #id parts ("p", ".lyrics", "div#main.hidden"). Rules inside @media
// blocks count where the query applies to the window (see MediaQuery.h). Rules with other
// selectors (combinators, attributes, pseudo-classes) and everything inside other @-rules
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

    bool empty() const { return m_rules.empty(); }

  private:
    struct Rule
    {
        std::string tag; // lower case; empty for any
        std::string id;
        std::vector<std::string> classes;
        uint32_t specificity = 0;
        uint32_t order = 0;
        bool important = false;
        ElementStyle values;
    };

    bool matches(const Rule& rule, std::string_view tag, std::string_view id,
                 const std::vector<std::string_view>& classes) const;
    std::string key(std::string_view name) const;

    std::vector<Rule> m_rules;
    std::unordered_map<std::string, std::vector<uint32_t>> m_byId;
    std::unordered_map<std::string, std::vector<uint32_t>> m_byClass;
    std::unordered_map<std::string, std::vector<uint32_t>> m_byTag;
    std::vector<uint32_t> m_universal;
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
