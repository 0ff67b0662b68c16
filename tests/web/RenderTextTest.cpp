// Rendered text (innerText) of hand-made pages, one group of cases per rendering rule.

#include "web/HtmlRenderer.h"

#include <gtest/gtest.h>

#include <string>

using larkspur::renderInnerText;

namespace {

struct Case
{
    const char* html;
    const char* text; // with "\n" for CR LF
};

std::string withCrLf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

void checkAll(const std::vector<Case>& cases)
{
    for (const Case& c : cases)
        EXPECT_EQ(renderInnerText(c.html), withCrLf(c.text)) << "page: " << c.html;
}

} // namespace

TEST(RenderText, BlocksParagraphsAndLineBreaks)
{
    checkAll({
        {"<div>one</div><div>two</div>", "one\ntwo"},
        {"a<div>b</div>c", "a\nb\nc"},
        {"<div><div><div>deep</div></div></div>after", "deep\nafter"},
        {"<p>first</p><p>second</p>", "first\n\nsecond"},
        {"<div>block</div><p>para</p><div>block</div>", "block\n\npara\n\nblock"},
        {"<p>only</p>", "only"}, // no breaks before the first or after the last text
        {"line one<br>line two<br/>line three", "line one\nline two\nline three"},
        {"a<br><br>b", "a\n\nb"},
        {"<p>a<br></p><p>b</p>", "a\n\n\nb"},
        {"<h1>Title</h1><ul><li>x</li><li>y</li></ul>", "Title\nx\ny"},
        {"<p>unclosed<p>next", "unclosed\n\nnext"},
        {"<span>in</span><span>line</span>", "inline"},
        {"<div></div><div></div>text", "text"},
    });
}

TEST(RenderText, WhiteSpaceCollapsesOutsidePre)
{
    checkAll({
        {"  many \t\n  spaces   here  ", "many spaces here"},
        {"a <b> b </b> c", "a b c"},
        {"<div>  lead</div>  <div>trail  </div>", "lead\ntrail"},
        {"end <br>  start", "end\nstart"},
        {"<pre>  kept   as\n\tis\n</pre>", "  kept   as\n\tis\n"},
        {"<pre>\nfirst newline dropped</pre>", "first newline dropped"},
        {"x<pre>a\n\nb</pre>y", "x\na\n\nb\ny"},
        {"<div style='white-space:pre-line'>  one  two\n  three</div>", "one two\nthree"},
        {"<style>.v{white-space:pre}</style><span class=v>a  b</span>", "a  b"},
        // A no-break space is text, not white space.
        {"a&nbsp;&nbsp;b", "a\xC2\xA0\xC2\xA0"
                           "b"},
        {"a\r\nb", "a b"},
    });
}

TEST(RenderText, TablesUseTabsAndLineBreaks)
{
    checkAll({
        {"<table><tr><td>a</td><td>b</td></tr><tr><td>c</td><td>d</td></tr></table>", "a\tb\nc\td"},
        {"<table><tr><th> Head </th><td>  cell  </td></tr></table>after", "Head\tcell\nafter"},
        {"<table><tr><td>a</td><td style=display:none>x</td><td>b</td></tr></table>", "a\tb"},
        {"<table><tr><td>a</td><td hidden>x</td></tr></table>", "a"},
        {"<table><caption>Cap</caption><tr><td>1</td></tr></table>", "Cap\n1"},
        {"<table><tr><td><p>para</p></td><td>x</td></tr></table>", "para\n\n\tx"},
    });
}

TEST(RenderText, NonRenderedElementsAndNoscript)
{
    checkAll({
        {"<head><title>T</title><style>p{}</style><script>s()</script></head><body>body</body>",
         "body"},
        {"a<script>var x = '<p>no</p>';</script>b", "ab"},
        {"a<style>b{}</style>b", "ab"},
        {"<template><p>no</p></template>yes", "yes"},
        {"<noscript>shown without scripts</noscript>", "shown without scripts"},
        {"<head><noscript><p>from head</p></noscript></head>", "from head"},
        {"a<!-- comment -->b", "ab"},
        {"<img alt=picture>x<input value=v><textarea>t</textarea><select><option>o</select>", "x"},
        {"<iframe>fallback</iframe>x", "x"},
        {"<svg><text>icon</text></svg>x", "x"},
        {"<details><summary>Sum</summary>hidden body</details>", "Sum"},
        {"<details open><summary>Sum</summary>body</details>", "Sum\nbody"},
    });
}

TEST(RenderText, HiddenByAttributeAndInlineStyle)
{
    checkAll({
        {"a<div hidden>x</div>b", "ab"}, // gone entirely, its line breaks too
        {"a<span style=\"display:none\">x</span>b", "ab"},
        {"a<span style=\"DISPLAY : None !important\">x</span>b", "ab"},
        {"a<span style=\"visibility:hidden\">x</span>b", "ab"},
        {"<div style=visibility:hidden>no<span style=visibility:visible>yes</span></div>", "yes"},
        {"a<div style='display:inline'>b</div>c", "abc"},
        {"a<span style='display:block'>b</span>c", "a\nb\nc"},
    });
}

TEST(RenderText, HiddenByThePagesStyleSheet)
{
    checkAll({
        {"<style>.ad{display:none}</style><div class=ad>ad</div><div class=lyr>song</div>", "song"},
        {"<style>#nav {display: none;}</style><div id=nav>menu</div>text", "text"},
        {"<style>aside{display:none}</style><aside>side</aside>main", "main"},
        {"<style>div.x.y{display:none}</style><div class='x y'>both</div><div class=x>one</div>",
         "one"},
        {"<style>.a,.b{visibility:hidden}</style><p class=a>A</p><p class=b>B</p><p>C</p>", "C"},
        {"<style>/* .c{display:none} */ .d{display:none}</style><p class=c>c</p><p class=d>d</p>",
         "c"},
        // The more specific rule or the later one of equal weight wins.
        {"<style>#k{display:block} .h{display:none}</style><div id=k class=h>kept</div>", "kept"},
        {"<style>.h{display:none} .s{display:block}</style><div class='h s'>kept</div>", "kept"},
        {"<style>.h{display:none!important}</style><div class=h style=display:block>x</div>y", "y"},
        {"<div class=h style=display:none>x</div><style>.h{display:block}</style>y", "y"},
        // The page's own display rule overrides the hidden attribute, as in browsers.
        {"<style>.f{display:flex}</style><div hidden class=f>shown</div>", "shown"},
        // Rules this reader does not evaluate never hide anything.
        {"<style>@media print{.p{display:none}} div > .q{display:none} [data-x]{display:none}"
         " .r:hover{display:none}</style><p class=p>p</p><p class=q>q</p><p data-x>x</p>"
         "<p class=r>r</p>",
         "p\n\nq\n\nx\n\nr"},
        {"<style media=print>.p{display:none}</style><p class=p>p</p>", "p"},
        // Class names match by case only in standards mode.
        {"<!DOCTYPE html><style>.Ad{display:none}</style><p class=ad>a</p>", "a"},
        {"<style>.Ad{display:none}</style><p class=ad>a</p>x", "x"},
    });
}

TEST(RenderText, EntitiesAndLineEnds)
{
    checkAll({
        {"&auml;&ouml;&uuml;&szlig; &amp; &lt;tag&gt; &#8364; &#x263A; &copy",
         "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F & <tag> \xE2\x82\xAC \xE2\x98\xBA \xC2\xA9"},
        {"Gr&ouml;&szlig;e", "Gr\xC3\xB6\xC3\x9F"
                             "e"},
    });
    const std::string text = renderInnerText("<p>a</p><div>b<br>c</div><pre>d\ne</pre>");
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
        }
    }
    EXPECT_EQ(text, "a\r\n\r\nb\r\nc\r\nd\r\ne");
}

TEST(RenderText, DeeplyNestedAndEmptyPages)
{
    std::string deep;
    // Deep enough to overflow a recursive walk; the parser itself slows down past this.
    for (int i = 0; i < 5000; ++i)
        deep += "<div><span>";
    deep += "core";
    EXPECT_EQ(renderInnerText(deep), "core");
    EXPECT_EQ(renderInnerText(""), "");
    EXPECT_EQ(renderInnerText("<frameset><frame src=a></frameset>"), "");
}
