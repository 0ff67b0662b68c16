// The body's source (innerHTML) as the page spells it, and the choice of character set.

#include "web/HtmlCharset.h"
#include "web/HtmlDocument.h"
#include "web/HtmlRenderer.h"

#include <gtest/gtest.h>

using namespace larkspur;

TEST(RenderSource, BodySourceKeepsTheOriginalSpelling)
{
    struct Case
    {
        const char* page;
        const char* body;
    };
    const Case cases[] = {
        // Case, unquoted attributes, entities and odd spacing stay as sent; the harvest's
        // markers depend on them.
        {"<HTML><BODY bgcolor=white><P CLASS=g><A HREF=\"http://x/?a=1&amp;b=2\">L</A>"
         "&auml;\r\n</BODY></HTML>",
         "<P CLASS=g><A HREF=\"http://x/?a=1&amp;b=2\">L</A>&auml;\r\n"},
        {"<body><p class=g>one<p class=fl>two</body>", "<p class=g>one<p class=fl>two"},
        {"<body>\n<br/>  <img src=a.png>\n</body>", "\n<br/>  <img src=a.png>\n"},
        // A page without a body start tag: from its first content on.
        {"<html><head><title>t</title></head>\n<div>no tag</div></html>", "<div>no tag</div>"},
        {"plain text", "plain text"},
        // A page cut off while loading: to its end.
        {"<body><p>first<p>sec", "<p>first<p>sec"},
        // Content after "</body>" belongs to the body.
        {"<body>in</body><p>late</p></html>", "in</body><p>late</p>"},
        {"<head></head><body></body>", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HtmlDocument(c.page).bodyInnerHtml(), c.body) << c.page;
}

TEST(RenderSource, BodySourceIsConvertedToUtf8)
{
    EXPECT_EQ(HtmlDocument("<body>\xE4\x80</body>").bodyInnerHtml(), "\xC3\xA4\xE2\x82\xAC");
    EXPECT_EQ(HtmlDocument("\xEF\xBB\xBF<body>\xC3\xA4</body>").bodyInnerHtml(), "\xC3\xA4");
}

TEST(RenderCharset, HeaderThenMetaThenUtf8ThenWindows1252)
{
    const std::string latin = "<meta charset=\"utf-8\"><body>\xE4</body>";
    // The header wins over the page's own claim.
    EXPECT_EQ(detectHtmlCharset(latin, "ISO-8859-1"), "windows-1252");
    EXPECT_EQ(renderInnerText(latin, "iso-8859-1"), "\xC3\xA4");
    // A name nothing can decode is passed over.
    EXPECT_EQ(detectHtmlCharset(latin, "x-no-such-charset"), "UTF-8");
    EXPECT_EQ(detectHtmlCharset("<meta http-equiv=Content-Type content='text/html; "
                                "charset=windows-1252'>x",
                                ""),
              "windows-1252");
    EXPECT_EQ(detectHtmlCharset("<META HTTP-EQUIV=\"content-type\" CONTENT=\"text/html;"
                                "charset=ISO-8859-1\">",
                                ""),
              "windows-1252");
    // A meta tag in a comment or after the body starts does not count.
    EXPECT_EQ(detectHtmlCharset("<!-- <meta charset=koi8-r> --><body>\xC3\xA4", ""), "UTF-8");
    EXPECT_EQ(detectHtmlCharset("<body><meta charset=koi8-r>\xE4", ""), "windows-1252");
    // A page that names UTF-16 in ASCII bytes is not UTF-16.
    EXPECT_EQ(detectHtmlCharset("<meta charset=utf-16>x", ""), "UTF-8");
    // Sniffing: valid UTF-8, else windows-1252.
    EXPECT_EQ(detectHtmlCharset("plain ascii", ""), "UTF-8");
    EXPECT_EQ(detectHtmlCharset("Gr\xC3\xB6\xC3\x9F"
                                "e",
                                ""),
              "UTF-8");
    EXPECT_EQ(detectHtmlCharset("Gr\xF6\xDF"
                                "e",
                                ""),
              "windows-1252");
    EXPECT_EQ(detectHtmlCharset("\xC0\xAF overlong", ""), "windows-1252");
    EXPECT_EQ(detectHtmlCharset("\xED\xA0\x80 surrogate", ""), "windows-1252");
    // A byte order mark beats everything.
    EXPECT_EQ(detectHtmlCharset("\xEF\xBB\xBFx", "iso-8859-1"), "UTF-8");
}

TEST(RenderCharset, HeaderValuesAreParsed)
{
    EXPECT_EQ(charsetFromContentType("text/html; charset=UTF-8"), "UTF-8");
    EXPECT_EQ(charsetFromContentType("text/html;charset=\"iso-8859-1\"; q=1"), "iso-8859-1");
    EXPECT_EQ(charsetFromContentType(" text/html ; Charset = koi8-r \r\n"), "koi8-r");
    EXPECT_EQ(charsetFromContentType("text/html"), "");
    EXPECT_EQ(charsetFromContentType(""), "");
}

TEST(RenderCharset, DecodingToUtf8)
{
    // windows-1252 differs from Latin-1 in 0x80-0x9F; undefined bytes stay as C1 controls.
    EXPECT_EQ(decodeToUtf8("\x80\x93q\x94\x9F\xFF\x81", "windows-1252"),
              "\xE2\x82\xAC\xE2\x80\x9Cq\xE2\x80\x9D\xC5\xB8\xC3\xBF\xC2\x81");
    EXPECT_EQ(decodeToUtf8("\x80", "latin1"), "\xE2\x82\xAC");
    // Broken UTF-8 becomes U+FFFD byte by byte; the rest is kept.
    EXPECT_EQ(decodeToUtf8("a\xC3(b\xF0\x9F\x98\x80", "utf-8"), "a\xEF\xBF\xBD(b\xF0\x9F\x98\x80");
    EXPECT_EQ(decodeToUtf8("\xEF\xBB\xBFx", "UTF-8"), "x");
    EXPECT_EQ(decodeToUtf8(std::string("\xFF\xFEh\0\xE4\0=\xD8\x00\xDE", 10), "utf-16le"),
              "h\xC3\xA4\xF0\x9F\x98\x80");
    // Other charsets go through the system's converter.
    EXPECT_EQ(decodeToUtf8("\xD0\xD2\xC9\xD7\xC5\xD4", "KOI8-R"),
              "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    EXPECT_EQ(renderInnerText("<body>\xCF\xF0\xE8\xE2\xE5\xF2</body>", "windows-1251"),
              "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    // An unknown name falls back to windows-1252.
    EXPECT_EQ(decodeToUtf8("\xE4", "x-unknown"), "\xC3\xA4");
}
