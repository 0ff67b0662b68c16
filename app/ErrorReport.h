#pragma once
// The one boundary where an error that leaves a handler becomes what the user sees.
// Handlers throw as they must; everything Qt delivers (slots, timers and their lambdas,
// socket notifiers, session bus calls) passes through Application::notify, which shows the
// error and lets the event loop go on. The rest of that handler does not run.

#include <QApplication>

#include <exception>
#include <functional>
#include <string>

namespace larkspur {

// The text of the error the pointer holds, for the user.
std::string errorText(const std::exception_ptr& error);

// The standard error report: a box with the text, the program's name as title, an error
// icon and OK. It does not block; while a box with the same text is open no second one opens,
// so an error that repeats every tick cannot pile up boxes. It stands over the program's
// window (BoxesOverWindow) where there is one. Interface thread only.
void showErrorReport(const std::string& text);

class Application : public QApplication
{
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Where errors that left a handler go; default: showErrorReport. Tests replace it.
    static void setReport(std::function<void(const std::string&)> report);
    static void report(const std::exception_ptr& error);
};

// Runs a step that comes before the event loop (FormCreate). An error is reported by
// `fatal`, which waits until it is read; then the result is false and the program ends.
bool runStartStep(const std::function<void()>& step,
                  const std::function<void(const std::string&)>& fatal);

} // namespace larkspur
