// Pages built to hurt the parser and renderer, the bounds cut into markup before parsing,
// and the browser parsing large pages while its event loop keeps running.

#include "support/HostilePages.h"
#include "support/TestFiles.h"
#include "web/BrowserDocument.h"
#include "web/HtmlCharset.h"
#include "web/HtmlDocument.h"
#include "web/HtmlRenderer.h"
#include "web/MarkupBounds.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>
#include <gumbo.h>

#include <string>

using namespace larkspur;

namespace {

// Elements on the longest path from the document down, as the parser built the tree.
unsigned treeDepth(const GumboNode* root)
{
    unsigned deepest = 0;
    std::vector<std::pair<const GumboNode*, unsigned>> stack{{root, 0}};
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        deepest = std::max(deepest, depth);
        const GumboVector* children = node->type == GUMBO_NODE_DOCUMENT ? &node->v.document.children
                                      : node->type == GUMBO_NODE_ELEMENT ? &node->v.element.children
                                                                         : nullptr;
        for (unsigned i = 0; children && i < children->length; ++i)
            stack.push_back({static_cast<const GumboNode*>(children->data[i]), depth + 1});
    }
    return deepest;
}

} // namespace

TEST(HostilePage, RendersInBoundedTimeKeepingTheTextBefore)
{
    // Generous: the slowest takes about a second on a loaded machine; unbounded ones took
    // minutes or crashed.
    constexpr qint64 kBoundMs = 60000;
    for (const testpages::HostilePage& page : testpages::hostilePages()) {
        QElapsedTimer timer;
        timer.start();
        const std::string text = renderInnerText(page.bytes, page.headerCharset);
        EXPECT_LT(timer.elapsed(), kBoundMs) << page.name;
        EXPECT_EQ(text.rfind(page.lead, 200), 0u) << page.name << ": " << text.substr(0, 200);
        EXPECT_NE(text.find(page.expect), std::string::npos) << page.name;
    }
}

TEST(HostilePage, MarkupPastTheBoundsIsCut)
{
    struct Case
    {
        const char* why;
        std::string html;
        MarkupBounds bounds;
        std::string kept;
    };
    const auto depth = [](unsigned d) {
        MarkupBounds b;
        b.maxDepth = d;
        return b;
    };
    MarkupBounds attrs;
    attrs.maxAttributes = 2;
    MarkupBounds nodes;
    nodes.maxNodes = 2;
    MarkupBounds bytes;
    bytes.maxBytes = 5;
    const std::vector<Case> cases = {
        {"deepest start tags go with their end tags", "<div><div><div>x</div>y</div></div>z",
         depth(2), "<div><div>xy</div></div>z"},
        {"a dropped tag's end tag is the nearest of its name", "<b><i><i>x</i></i>y</b><i>z</i>",
         depth(2), "<b><i>x</i>y</b><i>z</i>"},
        {"void elements open nothing", "<div><br><img src=a><hr>x</div>", depth(1),
         "<div><br><img src=a><hr>x</div>"},
        {"paragraphs end each other", "<div><p>a<p>b<p>c<p>d</div>", depth(2),
         "<div><p>a<p>b<p>c<p>d</div>"},
        {"list items and table parts end each other",
         "<ul><li>a<li>b</ul><table><tr><td>a<td>b<tr><td>c</table>", depth(4),
         "<ul><li>a<li>b</ul><table><tr><td>a<td>b<tr><td>c</table>"},
        {"an end tag does not reach out of a table", "<div><table><tr><td></div><span>x</span>",
         depth(5), "<div><table><tr><td></div>x"},
        {"a table's end tag closes its open cell", "<table><tr><td>a</table><div>b</div>", depth(4),
         "<table><tr><td>a</table><div>b</div>"},
        {"script and comments are not markup", "<script><div><div></script><!--<div><div>-->x",
         depth(0), "<script><div><div></script><!--<div><div>-->x"},
        {"attributes past the bound", "<a x=1 y=\"2>\" z=3 w>t</a><br a b c/>", attrs,
         "<a x=1 y=\"2>\" >t</a><br a b />"},
        {"past the elements bound only text and closing tags stay",
         "<b>1</b><i>2<u>3</u></i></p><script>var s='<u>'</script><xmp>4</xmp>5", nodes,
         "<b>1</b><i>23</i>45"},
        {"past the size bound at a character's start", "abcd\xC3\xA9", bytes, "abcd"},
        {"a tag the page never closes is left to the parser", "<div><div", depth(1), "<div><div"},
    };
    for (const Case& c : cases) {
        std::string html = c.html;
        const MarkupCuts cuts = boundMarkup(html, c.bounds);
        EXPECT_EQ(html, c.kept) << c.why;
        EXPECT_EQ(cuts.any(), c.kept != c.html) << c.why;
    }
}

TEST(HostilePage, RealPagesStayWithinTheBounds)
{
    const QDir corpus(QStringLiteral(LARKSPUR_SOURCE_DIR "/../shared/corpus/html"));
    const QStringList pages = corpus.entryList({QStringLiteral("*.html")}, QDir::Files);
    if (pages.isEmpty()) GTEST_SKIP() << "lyrics page corpus not found";
    for (const QString& name : pages) {
        const std::string bytes = test::readFile(corpus.filePath(name).toStdString());
        std::string source = decodeToUtf8(bytes, detectHtmlCharset(bytes));
        const std::string before = source;
        EXPECT_FALSE(boundMarkup(source).any()) << name.toStdString();
        EXPECT_EQ(source, before) << name.toStdString();
        // Depth is followed closely enough that a bound at the page's own depth (counting
        // the text below the deepest element) cuts nothing.
        MarkupBounds tight;
        tight.maxDepth = treeDepth(HtmlDocument(bytes).root());
        EXPECT_FALSE(boundMarkup(source, tight).any())
            << name.toStdString() << " " << tight.maxDepth;
    }
}

TEST(HostilePage, CascadeOrderSurvivesFoldingRulesBySelector)
{
    struct Case
    {
        const char* css;
        const char* attributes; // of the element holding "target"
        bool shown;
    };
    const std::vector<Case> cases = {
        {"*{display:none} *{display:inline}", "", true},
        {"*{display:inline} *{display:none}", "", false},
        {"div{display:none} *{display:block}", "", false},
        {"*{display:none !important} #x{display:block}", "id=x", false},
        {"*{display:none !important} *{display:inline !important}", "", true},
        {".a{display:none} .b{display:block}", "class='a b'", true},
        {".b{display:block} .a{display:none} .b{visibility:visible}", "class='b a'", false},
        {".a.b{display:none} .a{display:block} .b{display:block}", "class='a b'", false},
        {".b.a{display:none} .a.b{display:block}", "class='a b'", true},
        {"div.a{display:none} .a.a{display:block}", "class=a", true},
        {".a.a{display:none} div.a{display:block}", "class=a", false},
        {"#x{display:none} .a{display:block !important}", "id=x class=a", true},
        {".a{display:block !important} .a{display:none}", "class=a", true},
        {"#x.a{display:none} #x{display:block} .a{display:block}", "id=x class=a", false},
        {"#x{display:none !important}", "id=x style='display:block !important'", true},
        {"*{display:block !important}", "style='display:none'", true},
        {"div{visibility:hidden} .a{visibility:visible} div{visibility:hidden}", "class=a", true},
        {"div#x.a.b{display:none}", "id=x class='b c a'", false},
        {"div#x.a.d{display:none}", "id=x class='b c a'", true},
    };
    for (const Case& c : cases) {
        const std::string page = std::string("<html><head><style>") + c.css +
                                 "</style></head><body><div " + c.attributes +
                                 ">target</div></body></html>";
        const std::string text = renderInnerText(page);
        EXPECT_EQ(text, c.shown ? "target" : "") << c.css;
    }
}

TEST(HostilePage, BrowserParsesWhileItsEventLoopRuns)
{
    test::TempDir dir;
    const std::string big = dir.file("big.html");
    const std::string small = dir.file("small.html");
    test::writeFile(big, testpages::pageAround("", testpages::repeat("<p>line</p>", 1000000)));
    test::writeFile(small, "<html><body>the other page</body></html>");

    BrowserDocument browser;
    int completed = 0;
    QObject::connect(&browser, &BrowserDocument::DocumentComplete, [&] { ++completed; });
    browser.Navigate(big);
    ASSERT_TRUE(test::waitFor([&] {
        QCoreApplication::processEvents();
        return completed == 1;
    }));

    // The large page is parsed beside the event loop; whoever asked goes on when it is done.
    int ticks = 0;
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start();
    std::string text;
    browser.whenRendered([&] { text = browser.innerText(); });
    EXPECT_TRUE(text.empty());
    ASSERT_TRUE(test::waitFor([&] {
        QCoreApplication::processEvents();
        return !text.empty();
    }));
    tick.stop();
    EXPECT_GT(ticks, 0);
    EXPECT_EQ(text.rfind(testpages::kLead, 0), 0u);
    EXPECT_NE(text.find("line\r\n\r\nline"), std::string::npos);

    // A small page needs no wait: ready() runs at once.
    browser.Navigate(small);
    ASSERT_TRUE(test::waitFor([&] {
        QCoreApplication::processEvents();
        return completed == 2;
    }));
    bool ready = false;
    browser.whenRendered([&] { ready = true; });
    EXPECT_TRUE(ready);
    EXPECT_EQ(browser.innerText(), "the other page");
}
