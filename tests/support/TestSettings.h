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

class TRecordedMessages : public IMessageSink {
public:
    std::vector<std::string> Texts;
    void ShowMessage(std::string_view text) override { Texts.emplace_back(text); }
};

struct TConfigFolder {
    TTempDir Dir;
    TConfigFolder() { ::setenv("TESSELLON_CONFIG_DIR", Dir.Path().c_str(), 1); }
    ~TConfigFolder() { ::unsetenv("TESSELLON_CONFIG_DIR"); }
};

struct TWorkFolder {
    TTempDir Dir;
    std::filesystem::path Old = std::filesystem::current_path();
    TWorkFolder() { std::filesystem::current_path(Dir.Path()); }
    ~TWorkFolder() { std::filesystem::current_path(Old); }
};
