#pragma once

#include "common/Component.h"

#include <QApplication>

#include <functional>
#include <string>

// Nothing thrown may cross Qt's event loop: a slot or event handler that
// lets an exception through would end the program. Handlers catch at their
// own boundary with RunGuarded; the application object catches whatever is
// left, reports it and goes on.

// Runs f; an exception becomes the message "Unexpected error: " + its text
// (to messages, when given). True when f returned normally.
bool RunGuarded(const std::function<void()>& f, MessageSink* messages) noexcept;

// The text RunGuarded shows for an exception.
std::string UnexpectedErrorText(const std::exception* e);

// The application object of the windowed program: an exception that reaches
// the event loop is reported and the event counts as handled.
class GuardedApplication : public QApplication {
public:
    GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

    bool notify(QObject* receiver, QEvent* event) override;

    // Where the reports go; none: they are only counted.
    MessageSink* Messages = nullptr;
    int ExceptionsCaught() const { return ExceptionsCaught_; }

private:
    int ExceptionsCaught_ = 0;
};
