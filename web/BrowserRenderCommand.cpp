#include "web/BrowserRenderCommand.h"

#include "web/BrowserDocument.h"
#include "web/ToolApplication.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>

#include <memory>
#include <ostream>
#include <stdexcept>

namespace larkspur {

namespace {

// How long to wait for a server's first answer before giving up.
constexpr int kAnswerLimitMs = 60000;

bool isUrl(const std::string& target)
{
    const QString t = QString::fromStdString(target);
    return t.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           t.startsWith(QLatin1String("https://"), Qt::CaseInsensitive) ||
           t.startsWith(QLatin1String("file:"), Qt::CaseInsensitive);
}

} // namespace

int runRenderCommand(const std::string& target, std::ostream& out, std::ostream& err)
{
    // The browser loads from the Qt event loop, which needs an application object.
    const auto app = makeToolApplication();

    const std::string address =
        isUrl(target) ? target
                      : QFileInfo(QString::fromStdString(target)).absoluteFilePath().toStdString();

    BrowserDocument browser;
    QEventLoop loop;
    std::string error;
    bool answered = false;
    bool stopped = false;
    QObject::connect(
        &browser, &BrowserDocument::NavigateError,
        [&](const QString&, const QString& message) { error = message.toStdString(); });
    QObject::connect(&browser, &BrowserDocument::NavigateComplete2, [&] { answered = true; });
    QObject::connect(&browser, &BrowserDocument::DocumentComplete, &loop, &QEventLoop::quit);
    QObject::connect(&browser, &BrowserDocument::navtoutTimer, &loop, [&] {
        stopped = true;
        loop.quit();
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
        if (answered) return; // navtout takes over from here
        error = "no answer from the server";
        loop.quit();
    });

    try {
        browser.Navigate(address);
    } catch (const std::exception& e) {
        err << target << ": " << e.what() << '\n';
        return 1;
    }
    limit.start(kAnswerLimitMs);
    loop.exec();
    if (!error.empty()) {
        err << target << ": " << error << '\n';
        return 1;
    }
    if (stopped) err << target << ": still loading after 5 s; rendered what arrived\n";
    const std::string text = browser.innerText();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
        err << target << ": cannot write the text\n";
        return 1;
    }
    return 0;
}

} // namespace larkspur
