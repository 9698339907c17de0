#pragma once

// A main window of the gallery face, shown offscreen, with settings and a
// working folder of its own and a message sink that records.

#include "app/MainWindow.h"

#include "TestSettings.h"

#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <string>

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() : form(&messages) {
        form.IsShown = [] { return true; };
        form.resize(1000, 700);
        form.show();
        form.AfterCreate();
    }

    // What a list shows once the lines added so far are out.
    QString ListText(QPlainTextEdit* list) {
        form.FlushLists();
        return list->toPlainText();
    }
    FoundLink Link(const std::string& url) {
        FoundLink link;
        link.TypeLink = "htm";
        link.UrlFound = url;
        link.FromUrl = "http://a.example/";
        return link;
    }

    ConfigFolder config;
    WorkFolder work;
    RecordedMessages messages;
    MainWindow form;
};
