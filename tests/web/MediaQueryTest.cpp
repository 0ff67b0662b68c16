// Media queries answered for the renderer's window (1280 x 1024 unless a case says otherwise).

#include "web/MediaQuery.h"

#include <gtest/gtest.h>

using larkspur::mediaQueryListMatches;
using larkspur::MediaViewport;

namespace {

struct Case
{
    const char* query;
    bool matches;
};

void checkAll(const std::vector<Case>& cases, const MediaViewport& viewport = {})
{
    for (const Case& c : cases)
        EXPECT_EQ(mediaQueryListMatches(c.query, viewport), c.matches) << "query: " << c.query;
}

} // namespace

TEST(MediaQuery, TypesAndLists)
{
    checkAll({
        {"", true},
        {"   ", true},
        {"screen", true},
        {"ALL", true},
        {"print", false},
        {"speech", false},
        {"tv", false},
        {"only screen", true},
        {"not print", true},
        {"not screen", false},
        {"print, screen", true},
        {"print , tv", false},
        // A query that cannot be read is false, and the list reads on after it.
        {"screen and", false},
        {"and screen", false},
        {"only (min-width: 1px)", false},
        {"print and (min-width: 1px), screen", true},
        {"screen and (min-width: 1px) or (hover)", false}, // or only between parentheses
        {"screen, (min-width: 100", true},
    });
}

TEST(MediaQuery, WidthHeightAndUnitsAtTheirBoundaries)
{
    checkAll({
        {"(min-width: 768px)", true},
        {"(min-width:1280px)", true},
        {"(min-width: 1281px)", false},
        {"(max-width: 1280px)", true},
        {"(max-width: 1279.98px)", false},
        {"(width: 1280px)", true},
        {"(min-height: 1024px)", true},
        {"(min-height: 1025px)", false},
        {"(max-device-width: 480px)", false},
        {"(min-width: 53em)", true}, // 848 px
        {"(max-width: 53em)", false},
        {"(min-width: 80rem)", true}, // exactly 1280 px
        {"(min-width: 80.1em)", false},
        {"(min-width: 0)", true},
        {"(min-width: 100)", false}, // a length needs its unit
        {"(min-width: wide)", false},
        {"screen and (min-width: 1164px)", true},
        {"screen and (max-width: 479px)", false},
        {"only screen and (min-width: 768px) and (max-width: 1024px)", false},
        {"(min-width: 600px) and (max-width: 900px), (min-width: 1200px)", true},
    });
}

TEST(MediaQuery, RangeFormsAndLogic)
{
    checkAll({
        {"(width >= 600px)", true},
        {"(width < 1280px)", false},
        {"(width <= 1280px)", true},
        {"(1300px < width)", false},
        {"(600px <= width <= 1300px)", true},
        {"(400px <= width < 1280px)", false},
        {"(400px < width > 300px)", false}, // the two comparisons must point the same way
        {"(min-width > 1px)", false},
        {"not (min-width: 2000px)", true},
        {"not all and (min-width: 2000px)", true},
        {"(min-width: 2000px) or (hover)", true},
        {"((min-width: 2000px) or (orientation: landscape)) and (hover: hover)", true},
        // An unknown feature is neither true nor false, negated or not.
        {"(foo-bar: 1)", false},
        {"not (foo-bar: 1)", false},
        {"(foo-bar) or (min-width: 1px)", true},
        {"screen and (foo-bar)", false},
    });
}

TEST(MediaQuery, DesktopFeatures)
{
    checkAll({
        {"(orientation: landscape)", true},
        {"(orientation: portrait)", false},
        {"(hover: none)", false},
        {"(hover: hover) and (pointer: fine)", true},
        {"(any-pointer: coarse)", false},
        {"(prefers-color-scheme: dark)", false},
        {"(prefers-reduced-motion)", false},
        {"(scripting: enabled)", false},
        {"screen and (color)", true},
        {"(monochrome)", false},
        {"(min-resolution: 2dppx)", false},
        {"(min-resolution: 96dpi)", true},
        {"(-webkit-min-device-pixel-ratio: 1.5)", false},
        {"(-webkit-min-device-pixel-ratio: 1)", true},
        {"(min--moz-device-pixel-ratio: 2)", false},
        {"(min-aspect-ratio: 16/9)", false}, // 1280/1024 is 1.25
        {"(min-aspect-ratio: 5/4)", true},
        {"(aspect-ratio: 0/0)", false},
    });
}

TEST(MediaQuery, OtherViewport)
{
    const MediaViewport phone{375, 667};
    checkAll(
        {
            {"(max-width: 479px)", true},
            {"(min-width: 768px)", false},
            {"(orientation: portrait)", true},
            {"(min-width: 50vw)", true},
        },
        phone);
}
