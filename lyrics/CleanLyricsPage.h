#pragma once
// Prepares a fetched lyrics page for rendering.

#include <string>
#include <string_view>

namespace larkspur {

// Keeps the body of `page` and removes the tags and scripts that clutter its rendered text:
//  1. If "<body" occurs, the page is cut to run from its "<" up to just before the first
//     "</body>" (the page becomes empty when "</body>" comes first; nothing is cut when
//     there is no "</body>").
//  2. Each "<class" is deleted through the next ">" (or to the end of the page).
//  3. Each "<script" is deleted through the end of the next "/script>" after it, or to the
//     end of the page when none follows (the way a browser's parser swallows an unclosed
//     script). A "/script>" right after a backslash does not count: it is the "<\/script>"
//     that scripts write inside their strings.
// Markers match with ASCII case ignored. Steps 2 and 3 each take the first remaining
// occurrence as if the page were searched again from the start after every deletion, so
// markers that a deletion joins together ("<scr<script>x</script>ipt") count too.
// Encoding: any; only ASCII bytes are compared. Time: linear in the page size.
std::string CleanLyricsPage(std::string_view page);

} // namespace larkspur
