// The window's part of the program: Qt's application, the player back-end and the window.
// Loaded by the program's entry once the first song is on its way.

#include "app/BuildId.h"
#include "app/ErrorReport.h"
#include "app/ListFileDialog.h"
#include "app/TForm1.h"
#include "app/core/Launch.h"

#include <QApplication>
#include <QDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTranslator>
#include <csignal>
#include <memory>
#include <utility>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalFd[2] = {-1, -1};

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(g_signalFd[0], &byte, 1);
}

int windowMain(int& argc, char** argv, larkspur::Launch& launch);

} // namespace

extern "C" __attribute__((visibility("default")))
const larkspur::WindowEntry larkspurWindow{LARKSPUR_BUILD_ID, &windowMain};

namespace {

int windowMain(int& argc, char** argv, larkspur::Launch& launch)
{
    larkspur::FormServices services;
    services.executableDir = launch.executableDir;
    services.playLogFile = launch.playLogFile;
    services.desktopMode = launch.desktopMode;
    services.startupList = launch.listFile;
    services.firstSong = std::move(launch.firstSong);
    services.notifyDesktop = launch.tellDesktop;
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

    const std::unique_ptr<larkspur::MediaPlayer> player =
        launch.makePlayer(std::move(launch.warmStart));
    services.loadTranslations = loadTranslations;
    services.mp = player.get();
    services.askListFile = [](const std::string& folder) {
        return larkspur::askListFileDialog(nullptr, folder);
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
            Form1.closeForSystem();
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
    // The session is ending: the close that follows tells what it cannot save where no box
    // need be answered.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &Form1,
                     [&Form1] { Form1.sessionEnding(); });
    if (Form1.closed()) return Form1.exitCode();
    const int status = QApplication::exec();
    return status != 0 ? status : Form1.exitCode();
}

} // namespace
