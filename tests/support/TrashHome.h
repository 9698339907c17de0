#pragma once

// A home folder and a data folder of the test's own: files the library
// moves to the desktop Trash land in <data>/Trash, never in the user's.

#include "TempDir.h"

#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>

class TrashHome {
public:
    TrashHome() : Home_(Save("HOME")), Data_(Save("XDG_DATA_HOME")) {
        ::mkdir(Dir_.Sub("home").c_str(), 0700);
        ::setenv("HOME", Dir_.Sub("home").c_str(), 1);
        ::setenv("XDG_DATA_HOME", Dir_.Sub("data").c_str(), 1);
    }
    ~TrashHome() {
        Restore("HOME", Home_);
        Restore("XDG_DATA_HOME", Data_);
    }
    TrashHome(const TrashHome&) = delete;
    TrashHome& operator=(const TrashHome&) = delete;

    std::string Home() const { return Dir_.Sub("home"); }
    std::string Files() const { return Dir_.Sub("data/Trash/files"); }
    std::string Info() const { return Dir_.Sub("data/Trash/info"); }

private:
    static std::optional<std::string> Save(const char* name) {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    }
    static void Restore(const char* name, const std::optional<std::string>& v) {
        if (v)
            ::setenv(name, v->c_str(), 1);
        else
            ::unsetenv(name);
    }

    TempDir Dir_;
    std::optional<std::string> Home_;
    std::optional<std::string> Data_;
};
