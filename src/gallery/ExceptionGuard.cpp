#include "ExceptionGuard.h"

#include <exception>

std::string UnexpectedErrorText(const std::exception* e) {
    return std::string("Unexpected error: ") + (e != nullptr ? e->what() : "unknown exception");
}

namespace {

void Report(MessageSink* messages, const std::exception* e) noexcept {
    if (messages == nullptr) return;
    try {
        messages->ShowMessage(UnexpectedErrorText(e));
    } catch (...) {
        // The report itself failed: nothing more can be said.
    }
}

} // namespace

bool RunGuarded(const std::function<void()>& f, MessageSink* messages) noexcept {
    try {
        f();
        return true;
    } catch (const std::exception& e) {
        Report(messages, &e);
    } catch (...) {
        Report(messages, nullptr);
    }
    return false;
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = true;
    const bool ok = RunGuarded([&] { handled = QApplication::notify(receiver, event); }, Messages);
    if (!ok) ++ExceptionsCaught_;
    return ok ? handled : true;
}
