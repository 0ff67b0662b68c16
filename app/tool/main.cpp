// larkspur-tool: the player's page fetch, rendering, cleaning, lyrics and dictionary
// lookups, from the command line.

#include "dictionary/TranslateCommand.h"
#include "lyrics/CatalogueCommand.h"
#include "lyrics/CleanCommand.h"
#include "lyrics/LyricsCommand.h"
#include "playback/gst/SongLength.h"
#include "web/BrowserRenderCommand.h"
#include "web/HttpFetchCommand.h"

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

struct Subcommand
{
    std::string_view name;
    std::string_view arguments; // for the usage text
    size_t minArguments;
    size_t maxArguments; // 0: no limit
    int (*run)(const Arguments& args);
};

int fetch(const Arguments& args)
{
    return larkspur::runFetchCommand(args, std::cout, std::cerr);
}
int render(const Arguments& args)
{
    return larkspur::runRenderCommand(args[0], std::cout, std::cerr);
}
int clean(const Arguments& args)
{
    return larkspur::runCleanCommand(args[0], std::cout, std::cerr);
}
int lyrics(const Arguments& args)
{
    const int status =
        larkspur::runLyricsCommand(args, std::cout, std::cerr, [](const std::string& song) {
            return larkspur::measureSongLengthMs(song);
        });
    return status == 2 ? -1 : status;
}
int catalogue(const Arguments& args)
{
    const int status = larkspur::runCatalogueCommand(args, std::cout, std::cerr);
    return status == 2 ? -1 : status;
}

int translate(const Arguments& args)
{
    return larkspur::runTranslateCommand(args[0], std::cout, std::cerr);
}

constexpr Subcommand kSubcommands[] = {
    {"fetch", "URL [URL ...]", 1, 0, fetch},
    {"render", "FILE|URL", 1, 1, render},
    {"clean", "FILE", 1, 1, clean},
    {"lyrics", "[--next N] [--synced] [--no-database] SONGFILE | --all LIST", 1, 5, lyrics},
    {"translate", "WORD", 1, 1, translate},
    {"catalogue", "[--full] [--offset N] TEXT | --song LINK", 1, 4, catalogue},
};

// Asked for (--help): on standard output, and no failure; otherwise a misuse.
int usage(std::ostream& to = std::cerr, int status = 2)
{
    to << "usage:\n";
    for (const Subcommand& command : kSubcommands)
        to << "  larkspur-tool " << command.name << ' ' << command.arguments << '\n';
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return usage();
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h") return usage(std::cout, 0);
    const Arguments args(argv + 2, argv + argc);
    for (const Subcommand& command : kSubcommands) {
        if (command.name != name) continue;
        if (args.size() < command.minArguments ||
            (command.maxArguments != 0 && args.size() > command.maxArguments))
            return usage();
        const int status = command.run(args);
        return status < 0 ? usage() : status;
    }
    std::cerr << "larkspur-tool: unknown command \"" << name << "\"\n";
    return usage();
}
