#pragma once
// Media queries (the conditions of @media rules and of a <style> element's media attribute),
// answered for the one screen the renderer pretends to be: a desktop browser window with a
// mouse, light colours, scripting off and one device pixel per CSS pixel.

#include <string_view>

namespace larkspur {

struct MediaViewport
{
    double widthPx = 1280;
    double heightPx = 1024;
};

// Whether a comma-separated media query list ("screen and (min-width: 768px), print")
// applies: true when any of its queries does; an empty list applies. Types "all" and "screen"
// match, every other type does not. Width, height, aspect ratio, resolution, orientation and
// the common keyword features (hover, pointer, prefers-*) are known, with min-/max- prefixes
// and the range forms ("(400px <= width < 800px)"). An unknown feature is neither true nor
// false, even under "not": a query that depends on one, or cannot be read, does not apply.
bool mediaQueryListMatches(std::string_view list, const MediaViewport& viewport = {});

} // namespace larkspur
