// Rendered text (innerText) of hand-made pages, one group of cases per rendering rule.

#include "web/HtmlRenderer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

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
        {"<style>@media print{.p{display:none}} div + .q{display:none} [data-x]{display:none}"
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
        // Out of range for any counter: shown as U+FFFD, never as a stray byte.
        {"a&#xeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeet", "a\xEF\xBF\xBDt"},
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

TEST(RenderText, MediaRulesCountWhereTheyApplyToTheWindow)
{
    checkAll({
        // Only a rule whose query applies to a 1280 x 1024 window hides anything.
        {"<style>@media (max-width: 600px){.m{display:none}}</style><p class=m>shown</p>", "shown"},
        {"<style>@media screen and (min-width: 1000px){.d{display:none}}</style><p class=d>x</p>y",
         "y"},
        {"<style>@MEDIA ALL AND (MIN-WIDTH:80EM){.d{visibility:hidden}}</style><p class=d>x</p>y",
         "y"},
        {"<style>@media print{.p{display:none}} @media not print{.q{display:none}}</style>"
         "<p class=p>p</p><p class=q>q</p>",
         "p"},
        {"<style>@media screen{@media (min-width:1200px){.n{display:none}}}</style>"
         "<p class=n>x</p>y",
         "y"},
        {"<style>@media print{@media screen{.n{display:none}}}</style><p class=n>x</p>", "x"},
        // Rules after a media block, skipped or not, are still read.
        {"<style>@media (max-width:100px){.a{display:none}} .b{display:none}</style>"
         "<p class=a>a</p><p class=b>b</p>",
         "a"},
        {"<style>@media (min-width:100px){.a{color:red}} .b{display:none}</style>"
         "<p class=a>a</p><p class=b>b</p>",
         "a"},
        // An applying block's rules stand in the sheet's order with the others.
        {"<style>.h{display:none} @media (min-width:800px){.h{display:block}}</style>"
         "<div class=h>shown</div>",
         "shown"},
        {"<style>@media (min-width:800px){.h{display:block}} .h{display:none}</style>"
         "<div class=h>x</div>y",
         "y"},
        {"<style>.h{display:none} @media (max-width:800px){.h{display:block}}</style>"
         "<div class=h>x</div>y",
         "y"},
        // The media attribute of a <style> element is a query too.
        {"<style media='screen and (max-width: 600px)'>.p{display:none}</style><p class=p>p</p>",
         "p"},
        {"<style media='(min-width: 600px)'>.p{display:none}</style><p class=p>p</p>y", "y"},
        // Other blocks are not evaluated and never hide anything.
        {"<style>@supports (display:grid){.s{display:none}} @font-face{font-family:x}"
         " .f{display:none}</style><p class=s>s</p><p class=f>f</p>",
         "s"},
    });
}

TEST(RenderText, DisplayFromThePagesRulesDecidesLineBreaks)
{
    std::vector<Case> cases;
    std::vector<std::string> pages; // keeps the generated pages alive
    for (const char* value : {"block", "flex", "grid", "list-item", "table", "flow-root",
                              "table-caption", "block flex"})
        pages.push_back(std::string("<style>.x{display:") + value +
                        "}</style>a<span class=x>b</span>c");
    for (const std::string& page : pages)
        cases.push_back({page.c_str(), "a\nb\nc"});
    std::vector<std::string> inlinePages;
    for (const char* value :
         {"inline", "inline-block", "inline-flex", "contents", "initial", "table-row-group"})
        inlinePages.push_back(std::string("<style>div{display:") + value +
                              "}</style>a<div>b</div><div>c</div>");
    for (const std::string& page : inlinePages)
        cases.push_back({page.c_str(), "abc"});
    const std::vector<Case> more = {
        {"<style>.c{display:table-cell}</style><span class=c>a</span><span class=c>b</span>",
         "a\tb"},
        {"<style>.t{display:table}.r{display:table-row}.c{display:table-cell}</style>x<span "
         "class=t><span class=r><span class=c>1</span><span class=c>2</span></span><span "
         "class=r><span class=c>3</span></span></span>y",
         "x\n1\t2\n3\ny"},
        {"<style>td{display:block}</style><table><tr><td>a</td><td>b</td></tr></table>", "a\nb"},
        {"<style>tr,td{display:inline}</style><table><tr><td>a</td><td>b</td></tr>"
         "<tr><td>c</td></tr></table>",
         "abc"},
        {"<style>.col{display:table-column}</style>a<span class=col>b</span>c", "ac"},
        // Children of flex and grid containers are blocks, as Chromium's innerText has them.
        {"<style>li{display:inline} ul{display:flex}</style>x<ul><li>1</li><li>2</li></ul>y",
         "x\n1\n2\ny"},
        {"<div style=display:flex><a>A</a><a>B</a><a>C</a></div>", "A\nB\nC"},
        {"a<span style=display:inline-flex><b>x</b><b>y</b></span>c", "a\nx\ny\nc"},
        {"<div style=display:flex>x<span>y</span>z</div>", "x\ny\nz"},
        {"<style>div{display:inline-flex}</style>a<div>b</div><div>c</div>", "abc"}, // no element
        {"<style>.x{display:inline flex}</style>a<span class=x><b>b</b><b>d</b></span>c",
         "a\nb\nd\nc"},
        {"<style>.x{display:grid inline}</style>a<span class=x><b>b</b></span>", "a\nb"},
        {"<div style=display:flex><span>a<b>b</b></span><span>c</span></div>", "ab\nc"},
        {"<style>.g{display:grid}</style><nav class=g><a>A</a> <a>B</a></nav>after", "A\nB\nafter"},
        {"<div style=display:flex><i style=display:none>h</i><i>v</i><p>p</p><i>w</i></div>",
         "v\n\np\n\nw"},
        // revert gives back the tag's own display, the hidden attribute's included.
        {"<style>.h{display:none} .h.r{display:revert}</style><div class='h r'>a</div>b", "a\nb"},
        {"<style>.r{display:revert}</style>a<div hidden class=r>x</div>b", "ab"},
        // Weight: id over class over tag, later over earlier, inline style over all.
        {"<style>#i{display:block} .c{display:inline} span{display:none}</style>"
         "a<span id=i class=c>b</span>c",
         "a\nb\nc"},
        {"<style>.c{display:block} span{display:none}</style>a<span class=c>b</span>c", "a\nb\nc"},
        {"<style>.a{display:block} .b{display:inline}</style>a<span class='b a'>b</span>c", "abc"},
        {"<style>.a{display:block}</style>a<span class=a style=display:inline>b</span>c", "abc"},
        // A <p> keeps its paragraph breaks whatever its display, as in browsers.
        {"<style>p{display:inline}</style>a<p>b</p>c", "a\n\nb\n\nc"},
    };
    cases.insert(cases.end(), more.begin(), more.end());
    checkAll(cases);
}

TEST(RenderText, TextTransformIsInheritedAndWeighedLikeOtherRules)
{
    checkAll({
        {"<style>.u{text-transform:uppercase}</style><p class=u>loud</p>quiet", "LOUD\n\nquiet"},
        {"<style>.u{text-transform:uppercase}</style><div class=u>a <b>b</b><p>c</p></div>",
         "A B\n\nC"},
        {"<div style=text-transform:uppercase>a <span style=text-transform:none>b</span></div>",
         "A b"},
        {"<style>.u{text-transform:uppercase} .n{text-transform:none}"
         " .n.i{text-transform:inherit}</style><div class=u><span class='n i'>x</span></div>",
         "X"},
        {"<div style=text-transform:uppercase><i style=text-transform:initial>x</i></div>", "x"},
        {"<html style=text-transform:uppercase><body>page</body></html>", "PAGE"},
        {"<p style=text-transform:lowercase>&Auml;&Ouml;&Uuml; &Eacute;T&Eacute;</p>",
         "\xC3\xA4\xC3\xB6\xC3\xBC \xC3\xA9t\xC3\xA9"},
        {"<p style=text-transform:uppercase>Stra&szlig;e</p>", "STRASSE"},
        {"<pre style=text-transform:uppercase>a  b\nc</pre>", "A  B\nC"},
        // Capitalize: words run on across elements but not across white space, lines or
        // cells.
        {"<p style=text-transform:capitalize>hello   big\nworld</p>", "Hello Big World"},
        {"<p style=text-transform:capitalize>hel<b>lo</b> wor<i>ld</i></p>", "Hello World"},
        {"<p>foo<span style=text-transform:capitalize>bar baz</span></p>", "foobar Baz"},
        {"<div style=text-transform:capitalize>ab<div>cd</div>ef<br>gh</div>", "Ab\nCd\nEf\nGh"},
        {"<table style=text-transform:capitalize><tr><td>x</td><td>y</td></tr></table>", "X\tY"},
        // Weight.
        {"<style>#i{text-transform:lowercase} .c{text-transform:uppercase}"
         " p{text-transform:capitalize}</style><p id=i class=c>MiX</p><p class=c>MiX</p><p>mix</p>",
         "mix\n\nMIX\n\nMix"},
        {"<style>.a{text-transform:uppercase} .b{text-transform:lowercase}</style>"
         "<p class='b a'>MiX</p>",
         "mix"},
        {"<style>.c{text-transform:uppercase}</style><p class=c style=text-transform:none>MiX</p>",
         "MiX"},
        {"<style>.c{text-transform:uppercase!important}</style>"
         "<p class=c style=text-transform:none>MiX</p>",
         "MIX"},
        {"<style>@media (max-width:600px){p{text-transform:uppercase}}</style><p>small</p>",
         "small"},
    });
}

// The pages of what browsers do and this reader once did not: comment marks around a
// sheet, floats, and selectors with descendant and child combinators.
const std::vector<Case> kBrowserCases = {
    {"<style><!--\nh2 a.anchor{display:none}\n--></style><h2>Head<a class=anchor>P</a></h2>",
     "Head"},
    {"<style>.a{display:none} <!-- .b{display:none} --> .c{display:none}</style>"
     "<p class=a>a</p><p class=b>b</p><p class=c>c</p><p>d</p>",
     "d"},
    {"<style>.az span{float:left}</style><div class=az><span>A</span><span>B</span></div>", "A\nB"},
    {"<style>td{float:right}</style><table><tr><td>1</td><td>2</td></tr></table>", "1\n2"},
    {"<style>.f{float:left}.n{float:none}</style>a<span class='f n'>b</span>c", "abc"},
    {"<style>.list-item .hide_text{display:none}</style><div class=list-item>one "
     "<b><span class=hide_text>x</span></b>two</div><span class=hide_text>kept</span>",
     "one two\nkept"},
    {"<style>ul > li{display:none}</style><ul><li>a</li></ul><ol><li>b</li></ol>", "b"},
    {"<style>div > p span{display:none}</style><div><p><i><span>x</span></i>y</p></div>"
     "<section><p><span>z</span></p></section>",
     "y\n\nz"},
    {"<style>.a>.b{display:none} .x .y > .z{display:none}</style><div class=a><div class=b>"
     "B</div><p><i class=b>C</i></p></div><div class=x><p><i class=y><b class=z>Z</b></i></p>"
     "</div>",
     "C"},
    {"<style>ul > *{display:none}</style><ul><li>a</li></ul><p>p</p>", "p"},
};

TEST(RenderText, CommentMarksFloatsAndCombinators)
{
    checkAll(kBrowserCases);
}

// The same pages in Chromium itself, through the benchmark that measures the corpus.
TEST(RenderText, CommentMarksFloatsAndCombinatorsAsChromiumHasThem)
{
    const QString tool = QStringLiteral(LARKSPUR_BINARY_DIR "/larkspur-tool");
    if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty() ||
        QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral("-c"), QStringLiteral("import websocket")}) != 0)
        GTEST_SKIP() << "needs Debian's chromium and python3-websocket";
    if (!QFileInfo::exists(tool)) GTEST_SKIP() << "larkspur-tool is not built";
    QTemporaryDir dir;
    QStringList args{QStringLiteral(LARKSPUR_SOURCE_DIR "/bench/innertext_vs_chromium.py"), tool};
    for (std::size_t i = 0; i < kBrowserCases.size(); ++i) {
        QFile page(dir.filePath(QStringLiteral("page%1.html").arg(i)));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write("<!DOCTYPE html><meta charset=utf-8><body>");
        page.write(kBrowserCases[i].html);
        page.close();
        args << page.fileName();
    }
    QProcess bench;
    bench.start(QStringLiteral("/usr/bin/python3"), args);
    ASSERT_TRUE(bench.waitForFinished(240000));
    const QString out = QString::fromUtf8(bench.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("mean 1.000  worst 1.000"))) << out.toStdString();
}
