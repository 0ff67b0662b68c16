// Program entry: the application, the player back-end and the main window.

#include "app/ErrorReport.h"
#include "app/core/FirstSong.h"
#include "app/core/QSettingsStore.h"
#include "app/core/Settings.h"
#include "app/core/StartupPath.h"
#include "app/ListFileDialog.h"
#include "app/TForm1.h"
#include "playback/SongListFile.h"
#include "playback/gst/GstMediaPlayer.h"

#include <QApplication>
#include <QDir>
#include <QDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTranslator>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <cstdio>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalFd[2] = {-1, -1};

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(g_signalFd[0], &byte, 1);
}

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

// The first song's draw and start, on GStreamer's threads while Qt and the window get
// ready. Anything out of the ordinary is left to the window, which tells it.
std::shared_ptr<larkspur::FirstSong> startFirstSongEarly(const std::vector<std::string>& lists,
                                                         const larkspur::FormServices& services)
{
    try {
        larkspur::QSettingsStore settings;
        const std::string name = larkspur::startupListName(lists, services.executableDir,
                                                           services.desktopMode, settings);
        if (name.empty()) return nullptr;
        larkspur::TimeSeededRandom random;
        auto first = larkspur::drawFirstSong(name, random, larkspur::regularFileExists);
        if (!first) return nullptr;
        // At the user's volume from its first sample, as the window will set it.
        larkspur::Settings s;
        larkspur::loadSettings(settings, s);
        larkspur::GstMediaPlayer::warmUp({}, first->selection.path,
                                         std::min(s.volumeTrackPosition * 10, 1000));
        return first;
    } catch (const std::exception&) {
        return nullptr;
    }
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
    larkspur::FormServices services;
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
    if (onlyNames) services.firstSong = startFirstSongEarly(lists, services);
    // Else GStreamer and the sound server get ready on another core while Qt starts.
    if (!services.firstSong) larkspur::GstMediaPlayer::warmUp();
    larkspur::Application app(argc, argv);
    // No display name: the platform would append it to every dialog's title.
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt's own words in the user's language, where installed: the hotkey texts take the
    // local names of Ctrl, Shift and Alt from them ("Strg+Umschalt+P"). Not before the first
    // song has started, unless a dialog comes first.
    QTranslator qtWords;
    bool wordsLoaded = false;
    const auto loadTranslations = [&qtWords, &wordsLoaded] {
        if (std::exchange(wordsLoaded, true)) return;
        if (qtWords.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(&qtWords);
    };

    larkspur::GstMediaPlayer player;
    services.loadTranslations = loadTranslations;
    services.mp = &player;
    services.askListFile = [&services] {
        return larkspur::askListFileDialog(nullptr, services.executableDir);
    };

    const auto fatal = [&loadTranslations](const std::string& text) {
        loadTranslations();
        QMessageBox::critical(nullptr, QStringLiteral("Larkspur"), QString::fromLocal8Bit(text));
    };
    std::unique_ptr<larkspur::TForm1> window;
    if (!larkspur::runStartStep([&] { window = std::make_unique<larkspur::TForm1>(services); },
                                fatal))
        return 1;
    larkspur::TForm1& Form1 = *window;

    // A terminate or interrupt signal is a close request, handled on the event loop like
    // the window's own close: fade, list and settings saved.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalFd) == 0) {
        auto* notifier = new QSocketNotifier(g_signalFd[1], QSocketNotifier::Read, &Form1);
        QObject::connect(notifier, &QSocketNotifier::activated, &Form1, [&Form1] {
            char byte;
            [[maybe_unused]] auto n = ::read(g_signalFd[1], &byte, 1);
            // A dialog at start-up runs its own loop: end it too, or the program would stay.
            while (QWidget* modal = QApplication::activeModalWidget()) {
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
                else
                    modal->close();
                if (QApplication::activeModalWidget() == modal) break;
            }
            Form1.close();
        });
        struct sigaction sa {};
        sa.sa_handler = onTerminate;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
    }

    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    args.removeAll(QStringLiteral("--desktop"));
    std::unique_ptr<larkspur::MprisService> mpris;
    // An error before the event loop runs ends the program, once the user has read it.
    const bool started = larkspur::runStartStep(
        [&] {
            Form1.FormCreate(args);
            if (Form1.closed()) return;
            // Media keys and desktop controls; without a session bus the player runs without them.
            mpris = std::make_unique<larkspur::MprisService>(Form1.mprisControl());
            if (mpris->registerOnSessionBus()) {
                QObject::connect(&Form1, &larkspur::TForm1::playerChanged, mpris.get(),
                                 &larkspur::MprisService::playerChanged);
                QObject::connect(&Form1, &larkspur::TForm1::seeked, mpris.get(),
                                 &larkspur::MprisService::seeked);
            }
            Form1.show();
        },
        fatal);
    if (!started) return 1;
    if (Form1.closed()) return 0;
    return QApplication::exec();
}
