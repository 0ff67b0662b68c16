#pragma once
// Pages built to hurt an HTML parser or renderer: absurd nesting, attributes, sizes, style
// sheets, broken encodings and entities. Each starts with ordinary text that must still
// show. Shared by the renderer's tests and its benchmark.

#include <string>
#include <vector>

namespace larkspur::testpages {

struct HostilePage
{
    const char* name;
    std::string bytes;
    std::string headerCharset;
    std::string lead;   // ordinary text before the hostile part, must be rendered
    std::string expect; // more text the rendered page must hold ("" when none)
};

inline constexpr const char* kLead = "Verse one before the trouble";

inline std::string repeat(const std::string& unit, size_t times)
{
    std::string out;
    out.reserve(unit.size() * times);
    for (size_t i = 0; i < times; ++i)
        out += unit;
    return out;
}

inline std::string pageAround(const std::string& head, const std::string& body)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>t</title>" + head +
           "</head><body><p>" + kLead + "</p>\n" + body + "</body></html>";
}

// An ordinary lyrics page of about 100 KB: navigation, styles, hidden ads, verses.
inline std::string ordinaryPage()
{
    const std::string style = "<style>.ad{display:none} #promo{visibility:hidden} "
                              "div.hidden{display:none} .lyrics{white-space:normal} "
                              "h2{text-transform:uppercase}</style>";
    const std::string unit =
        "<div class=\"nav\"><ul><li><a href=\"/a\">Artists</a></li><li><a href=\"/b\">Albums"
        "</a></li></ul></div>\n<div class=\"ad\">Advertisement</div><div id=\"promo\">promo"
        "</div>\n<h2>Chorus</h2><div class=\"lyrics\"><p>I spoke a vow today<br>\nAnd asked "
        "if it would come &amp; stay<br>\nThe night goes on</p></div>\n"
        "<table><tr><td>Artist:</td><td>Someone</td></tr></table>\n";
    return pageAround(style, repeat(unit, 100000 / unit.size()));
}

inline std::vector<HostilePage> hostilePages()
{
    std::vector<HostilePage> pages;
    const auto add = [&](const char* name, std::string bytes, std::string expect = {},
                         std::string charset = {}) {
        pages.push_back({name, std::move(bytes), std::move(charset), kLead, std::move(expect)});
    };
    add("100,000 nested div",
        pageAround("", repeat("<div>", 100000) + "deep text" + repeat("</div>", 100000)),
        "deep text");
    add("270,000 nested span", pageAround("", repeat("<span>", 270000) + "deepest"), "deepest");
    {
        std::string tag = "<div";
        for (int i = 0; i < 100000; ++i)
            tag += " data-a" + std::to_string(i) + "=\"v\"";
        add("100,000 attributes on one element", pageAround("", tag + ">after the tag</div>"),
            "after the tag");
    }
    add("50 MB of text", pageAround("", repeat("lalala lalala ", 50 * 1024 * 1024 / 14)),
        "lalala lalala");
    add("a million paragraphs", pageAround("", repeat("<p>line</p>", 1000000)), "line");
    {
        std::string sheet = "<style>";
        const char* values[] = {"display:block", "visibility:visible", "white-space:normal",
                                "text-transform:none"};
        for (int i = 0; i < 20000; ++i)
            sheet += std::string("* {") + values[i % 4] + "}\n";
        sheet += "</style>";
        add("20,000 universal rules over 20,000 elements",
            pageAround(sheet, repeat("<div><span>cell</span></div>", 20000)), "cell");
    }
    {
        std::string sheet = "<style>";
        std::string body;
        for (int i = 0; i < 20000; ++i) {
            const std::string n = std::to_string(i);
            sheet += ".a.b" + n + "{display:block} div#i" + n + ".a{visibility:visible}\n";
            body += "<div id=i" + n + " class=\"a b" + n + "\">item</div>";
        }
        add("40,000 compound rules over 20,000 elements", pageAround(sheet + "</style>", body),
            "item");
    }
    {
        std::string junk;
        junk.reserve(10 * 1024 * 1024);
        unsigned x = 12345;
        for (size_t i = 0; i < 10 * 1024 * 1024; ++i) {
            x = x * 1103515245u + 12345u;
            junk += static_cast<char>(0x80 | ((x >> 16) & 0x7F));
        }
        add("invalid UTF-8 declared as UTF-8", pageAround("", junk), "", "utf-8");
    }
    add("Latin-1 page declared as UTF-16",
        "<html><head><meta charset=\"utf-16\"></head><body><p>" + std::string(kLead) + "</p>" +
            repeat("Caf\xE9 cr\xE8me ", 200000) + "</body></html>",
        "Caf\xEF\xBF\xBD");
    {
        std::string ascii = "<html><body><p>" + std::string(kLead) + "</p>" +
                            repeat("<p>sixteen bits</p>", 200000) + "</body></html>";
        std::string wide;
        for (char c : ascii) {
            wide += c;
            wide += '\0';
        }
        add("UTF-16 without a byte order mark", wide, "sixteen bits");
    }
    add("a million long entity names", pageAround("", repeat("&NotNestedGreaterGreater;", 1000000)),
        "\xE2\xAA\xA2\xCC\xB8");
    add("a million numeric entities",
        pageAround("", repeat("&#x1F600;&#99999999999999999999;&#0000000000000000065;", 1000000)),
        "\xF0\x9F\x98\x80");
    return pages;
}

} // namespace larkspur::testpages
