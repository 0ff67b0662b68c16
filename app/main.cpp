// Program entry. Only what the first song needs is linked here (the song list, the settings,
// GStreamer): that song is drawn and started first, then the window's module, with Qt's
// widget libraries, is loaded while it starts.

// Before Qt's headers, whose "signals" keyword is a name in GIO's.
#include <gio/gio.h>

#include "app/BuildId.h"
#include "app/core/FirstSong.h"
#include "app/core/Launch.h"
#include "app/core/ModuleCheck.h"
#include "app/core/QSettingsStore.h"
#include "app/core/Settings.h"
#include "app/core/StartupPath.h"
#include "playback/SongListFile.h"
#include "playback/gst/GstMediaPlayer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr char kUsage[] =
    "Usage: larkspur [--desktop] [SONGLIST]\n"
    "Plays the song list (count|path lines) in a weighted random order from the notification\n"
    "area and shows the lyrics of the playing song. Without a song list it asks for one; a\n"
    "name without a folder is taken from the current folder when it is there, else from\n"
    "the program's folder.\n"
    "\n"
    "  --desktop   started from the desktop menu: the play log and bare list names live in\n"
    "              the user's data folder, and the last song list opens without asking\n"
    "  --help      this text\n"
    "  --version   the version\n";

// The list the command line names, resolved, read and locked once for the window, and its
// first song's draw and start on GStreamer's threads while Qt and the window get ready.
// Anything out of the ordinary is left to the window, which tells it.
void startFirstSongEarly(const std::vector<std::string>& lists, larkspur::Launch& launch)
{
    try {
        larkspur::QSettingsStore settings;
        launch.listFile =
            larkspur::startupListName(lists, launch.executableDir, launch.desktopMode, settings);
        if (launch.listFile->empty()) return;
        larkspur::TimeSeededRandom random;
        launch.firstSong =
            larkspur::drawFirstSong(*launch.listFile, random, larkspur::regularFileExists);
        if (!launch.firstSong || !launch.firstSong->selection) return;
        // At the user's volume from its first sample, as the window will set it.
        larkspur::Settings s;
        larkspur::loadSettings(settings, s);
        launch.warmStart = larkspur::GstMediaPlayer::warmUp(
            {}, launch.firstSong->selection->path, std::min(s.volumeTrackPosition * 10, 1000));
    } catch (const std::exception&) {
    }
}

// A program that cannot show its window still says why where the user looks: a desktop
// notification. GIO is loaded for it only here; the window uses it at an exit no one sees.
void tellDesktop(const std::string& summary, const std::string& body)
{
    void* gio = ::dlopen("libgio-2.0.so.0", RTLD_LAZY | RTLD_LOCAL);
    if (!gio) return;
    using BusGet = GDBusConnection* (*)(GBusType, GCancellable*, GError**);
    using Call = GVariant* (*)(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                               const gchar*, GVariant*, const GVariantType*, GDBusCallFlags,
                               gint, GCancellable*, GError**);
    const auto busGet = reinterpret_cast<BusGet>(::dlsym(gio, "g_bus_get_sync"));
    const auto call = reinterpret_cast<Call>(::dlsym(gio, "g_dbus_connection_call_sync"));
    GDBusConnection* bus = busGet ? busGet(G_BUS_TYPE_SESSION, nullptr, nullptr) : nullptr;
    if (bus && call) {
        GVariant* args = g_variant_new("(susss@as@a{sv}i)", "Larkspur", 0u, "", summary.c_str(),
                                       body.c_str(), g_variant_new_strv(nullptr, 0),
                                       g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0), -1);
        if (GVariant* reply = call(bus, "org.freedesktop.Notifications",
                                   "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                                   "Notify", args, nullptr, G_DBUS_CALL_FLAGS_NONE, 3000, nullptr,
                                   nullptr))
            g_variant_unref(reply);
    }
    if (bus) g_object_unref(bus);
}

// Loads the window's module, or says why not in `reason` as the loader says it ("<path>:
// <why>"). A file cut short is refused before the loader maps what is not there.
void* loadModule(const std::string& path, std::string& reason)
{
    if (const std::string notWhole = larkspur::moduleNotWhole(path); !notWhole.empty()) {
        reason = path + ": " + notWhole;
        return nullptr;
    }
    void* module = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!module) reason = ::dlerror();
    return module;
}

// The one end of a program whose window cannot be loaded, whatever the reason: `tried` holds
// each place tried with why not, `reason` the last, which an install mends.
int windowNotLoaded(const std::string& tried, const std::string& reason)
{
    std::fprintf(stderr, "larkspur: the window's module could not be loaded:%s\n", tried.c_str());
    tellDesktop("Larkspur cannot start", "Its window could not be loaded: " + reason +
                                             ". Installing Larkspur again should mend this.");
    return 1;
}

std::string programFolder()
{
    std::error_code error;
    const auto exe = std::filesystem::canonical("/proc/self/exe", error);
    return error ? std::string(".") : exe.parent_path().string();
}

} // namespace

int main(int argc, char** argv)
{
    bool desktop = false;
    // Only list names: an option of Qt's own could take the next word as its value.
    bool onlyNames = true;
    std::vector<std::string> lists;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("larkspur %s\n", LARKSPUR_VERSION);
            return 0;
        }
        if (arg == "--desktop")
            desktop = true;
        else if (arg.starts_with('-'))
            onlyNames = false;
        else
            lists.emplace_back(arg);
    }
    larkspur::Launch services;
    services.executableDir = programFolder();
    if (desktop) {
        // From a desktop menu the program's folder is a system folder and the current one
        // the home folder: the user's data folder stands in for both.
        const std::string data = larkspur::userDataFolder();
        std::error_code error;
        std::filesystem::create_directories(data, error);
        services.executableDir = data;
        services.playLogFile = data + "/log.txt";
        services.desktopMode = true;
    }
    if (onlyNames) startFirstSongEarly(lists, services);
    const bool songAhead = services.warmStart != nullptr;
    // Else GStreamer and the sound server get ready on another core while Qt starts.
    if (!songAhead) services.warmStart = larkspur::GstMediaPlayer::warmUp();
    // Loading the module while GStreamer loads its plug-ins would hold both up: they take
    // turns at the dynamic loader. The song first, the window right after.
    if (songAhead) larkspur::GstMediaPlayer::waitForWarmUp(*services.warmStart);
    // The module beside the program (a build), else where the install put it.
    void* module = nullptr;
    std::string path, tried, lastReason;
    for (const std::string& folder :
         {programFolder(), programFolder() + "/" LARKSPUR_MODULE_FROM_PROGRAM}) {
        path = (std::filesystem::path(folder) / "larkspur-window.so").lexically_normal();
        module = loadModule(path, lastReason);
        if (module) break;
        tried += "\n  " + lastReason;
    }
    const auto* entry = module ? static_cast<const larkspur::WindowEntry*>(
                                     ::dlsym(module, larkspur::kWindowEntrySymbol))
                               : nullptr;
    if (!entry) {
        if (module) {
            const char* error = ::dlerror(); // null when the symbol is there but null
            lastReason = error ? error : "it has no entry point";
            // The entry of the builds before there was a build id.
            if (::dlsym(module, "larkspurWindowMain"))
                lastReason = path + " comes from another build";
            tried = "\n  " + lastReason;
        }
        return windowNotLoaded(tried, lastReason);
    }
    // Checked before anything of it runs: its Launch may be laid out otherwise.
    if (!entry->buildId || std::strcmp(entry->buildId, LARKSPUR_BUILD_ID) != 0 || !entry->main) {
        lastReason = path + " comes from another build";
        return windowNotLoaded("\n  " + lastReason, lastReason);
    }
    services.makePlayer = [](std::unique_ptr<larkspur::WarmStart> warm) {
        return std::make_unique<larkspur::GstMediaPlayer>(std::string(), 10000, std::move(warm));
    };
    services.tellDesktop = tellDesktop;
    return entry->main(argc, argv, services);
}
