#pragma once

// What window and controller tests share: a message sink that records, a
// settings folder of the test's own (never the user's), and a working
// folder of its own (the storage folder defaults to ./Download).

#include "common/Component.h"

#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

class RecordedMessages : public MessageSink {
public:
    std::vector<std::string> Texts;
    std::vector<std::string> Questions;
    bool Answer = false; // to every question
    void ShowMessage(std::string_view text) override { Texts.emplace_back(text); }
    bool Confirm(std::string_view question) override {
        Questions.emplace_back(question);
        return Answer;
    }
};

struct ConfigFolder {
    TempDir Dir;
    ConfigFolder() { ::setenv("TESSELLON_CONFIG_DIR", Dir.Path().c_str(), 1); }
    ~ConfigFolder() { ::unsetenv("TESSELLON_CONFIG_DIR"); }
};

struct WorkFolder {
    TempDir Dir;
    std::filesystem::path Old = std::filesystem::current_path();
    WorkFolder() { std::filesystem::current_path(Dir.Path()); }
    ~WorkFolder() { std::filesystem::current_path(Old); }
};
