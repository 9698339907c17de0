#pragma once

#include "engine/PageRenderer.h"

#include <QCoreApplication>

#include <memory>

// The application object of one command. Without page scripts it is a plain
// QCoreApplication and costs nothing more; with them it is a QGuiApplication
// (offscreen when there is no display) and holds the page renderer, which is
// made after it and goes before it. Throws std::runtime_error, which the
// command line reports with exit status 1, when the browser engine cannot
// start.
class CommandApp {
public:
    explicit CommandApp(bool renderPages);
    ~CommandApp();
    CommandApp(const CommandApp&) = delete;
    CommandApp& operator=(const CommandApp&) = delete;

    QCoreApplication& App() { return *App_; }
    // Null without page scripts.
    PageRenderer* Renderer();

private:
    int Argc_ = 1;
    char Name_[14] = "tessellon-cli";
    char* Argv_[2] = {Name_, nullptr};
    std::unique_ptr<QCoreApplication> App_;
    std::unique_ptr<PageRenderer> Renderer_;
};
