#include "app/ErrorReport.h"
#include "app/BoxesOverWindow.h"

#include <QMessageBox>
#include <QPointer>

#include <cstdio>
#include <map>
#include <new>

namespace larkspur {

namespace {

std::function<void(const std::string&)>& reportHook()
{
    static std::function<void(const std::string&)> hook;
    return hook;
}

} // namespace

std::string errorText(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return "Out of memory.";
    } catch (const std::exception& e) {
        const std::string text = e.what();
        return text.empty() ? std::string("An unknown error occurred.") : text;
    } catch (...) {
        return "An unknown error occurred.";
    }
}

void showErrorReport(const std::string& text)
{
    static std::map<std::string, QPointer<QMessageBox>> open;
    std::erase_if(open, [](const auto& entry) { return entry.second.isNull(); });
    if (const auto it = open.find(text); it != open.end()) {
        it->second->raise();
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Larkspur"),
                                QString::fromLocal8Bit(text), QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    if (BoxesOverWindow* over = BoxesOverWindow::ofProgram())
        over->show(box);
    else
        box->show();
    open.emplace(text, box);
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        report(std::current_exception());
        return false;
    }
}

void Application::setReport(std::function<void(const std::string&)> report)
{
    reportHook() = std::move(report);
}

void Application::report(const std::exception_ptr& error)
{
    const std::string text = errorText(error);
    std::fprintf(stderr, "larkspur: %s\n", text.c_str());
    // Showing the report must not throw back into the event loop.
    try {
        if (reportHook())
            reportHook()(text);
        else
            showErrorReport(text);
    } catch (...) {
    }
}

bool runStartStep(const std::function<void()>& step,
                  const std::function<void(const std::string&)>& fatal)
{
    try {
        step();
        return true;
    } catch (...) {
        const std::string text = errorText(std::current_exception());
        std::fprintf(stderr, "larkspur: %s\n", text.c_str());
        fatal(text);
        return false;
    }
}

} // namespace larkspur
