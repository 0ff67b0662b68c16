#pragma once
// The catalogue search's share of the window's state variables. Texts are UTF-8 bytes.

#include <string>
#include <vector>

namespace larkspur {

// One hit of a result page, cut as it stands (tags and entities included).
struct CatalogueRow
{
    std::string link; // relative to the site's host
    std::string title;
    std::string text;           // the excerpt
    std::string linkBytes = {}; // the link as its bytes stood in the (Latin-1) page
};

struct CatalogueState
{
    int EntriesPerPage = 10;
    int CatalogueTotal = 0;                  // hits of the last counted search; 0: no session yet
    int CataloguePageStart = 0;              // index of the first hit asked for
    std::string CatalogueSession;            // sent unchanged first in every search address
    std::vector<CatalogueRow> CatalogueRows; // the last counted page; grows past 1024
};

} // namespace larkspur
