#pragma once

#include "common/Component.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Messages meant for the user go to standard error on the command line.
class StderrMessages : public MessageSink {
public:
    void ShowMessage(std::string_view text) override {
        std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
    }
};

// A bad command line: the message is printed with the usage text, exit 2.
struct UsageError {
    std::string message;
};

// Walks the arguments of one command.
class ArgReader {
public:
    explicit ArgReader(std::vector<std::string> args) : Args_(std::move(args)) {}
    bool Done() const { return Pos_ >= Args_.size(); }
    const std::string& Next() { return Args_[Pos_++]; }
    // The value of an option that needs one.
    std::string Value(const std::string& option);
    // The value of an option whose value may be left out (next argument
    // starting with "-", or no more arguments).
    bool OptionalValue(std::string& out);
    int IntValue(const std::string& option, int min, int max);

private:
    std::vector<std::string> Args_;
    std::size_t Pos_ = 0;
};

bool ReadWholeFile(const std::string& path, std::string& out);
// "a,b,c" as one entry a line.
std::string CommaListToLines(std::string_view list);

int RunLinks(std::vector<std::string> args);

// "host:port" (port defaults to 80).
void ParseProxy(const std::string& text, std::string& host, int& port);

// Ctrl-C handling: the handler only counts; the event loop polls the count.
// SIGTERM and SIGHUP count as Ctrl-C; SIGPIPE and SIGXFSZ are ignored, so
// that a closed output or a file size limit is a write error, not the end.
void InstallInterruptHandler();

// Why the storage folder cannot take the downloads (it names a file, or a
// folder this user may not write to); empty when it can, or when it does
// not exist yet and is to be created.
std::string OutFolderProblem(const std::string& path);
int InterruptCount();

// A progress line redrawn in place on standard error, only when it is a terminal.
class ProgressLine {
public:
    ProgressLine();
    void Show(const std::string& text);
    void Clear();

private:
    bool Tty_;
    bool Shown_ = false;
    long long Start_;
};

int RunGet(std::vector<std::string> args);

class Grabber;
#include <functional>
// What a command built on the scan (such as the demo) presets before the
// command line is read.
struct ScanDefaults {
    std::string Url;
    bool SearchThumbs = false;
    bool BothKinds = false; // thumbnails and full-size pictures
    int Depth = 0;          // 0: the engine's own
    bool FixedUrl = false;  // the command scans its own address; a URL argument is refused
    std::function<void(const std::string& url, bool onDisk)> OnFileReceived;
    // A failed page or file, or nothing stored, makes the exit status 1. The
    // demo fails one link on purpose and keeps 0.
    bool FailuresSetStatus = true;
};
void ApplyScanDefaults(Grabber& grab, const ScanDefaults& defaults);
int RunScan(std::vector<std::string> args, const ScanDefaults& defaults);
int RunDemo(std::vector<std::string> args);
int RunDemoServer(std::vector<std::string> args);
