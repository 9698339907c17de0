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

// A bad command line: the message is printed with the command's usage, exit 2.
struct UsageError {
    std::string message;
};

// -h or --help: the text is printed on standard output, exit 0.
struct HelpRequest {
    std::string text;
};

// One option of a command: its name without dashes ("out"; one letter: "i"),
// the name of its value (empty for a switch; in brackets, as "[WORDS]", a
// value that may be left out) and its line in the command's help.
struct CommandOption {
    const char* Name;
    const char* Value;
    const char* Help;
};

// What a command takes, for its parser and its help.
struct CommandHelp {
    const char* Name;     // "scan"
    const char* Synopsis; // "[options] URL"
    const char* Summary;  // what the command does
    std::vector<CommandOption> Options;
    std::string UsageLine() const;
    std::string Text() const;
};

// The arguments of one command, read as GNU tools read theirs: "--name
// value" and "--name=value", "-h" and "--help" (thrown as a HelpRequest),
// and "--" before arguments that begin with a dash. A value that may be left
// out is taken from the next argument unless that one begins with a dash.
// Next walks the options in the order given, each as "--name" ("-i" for a
// one-letter name) with its own value, then the other arguments in theirs.
class ArgReader {
public:
    ArgReader(std::vector<std::string> args, const CommandHelp& command);
    bool Done() const { return Pos_ >= Items_.size(); }
    const std::string& Next() { return Items_[Pos_++].Text; }
    // What Next returned last is an option, not an argument.
    bool IsOption() const { return Pos_ > 0 && Items_[Pos_ - 1].Option; }
    // Whether the option ("--name") was given, before it is read.
    bool Has(const std::string& option) const;
    // The value of the option Next returned last.
    std::string Value(const std::string& option);
    // The same for a value that may be left out: false when it was.
    bool OptionalValue(std::string& out);
    int IntValue(const std::string& option, int min, int max);

private:
    struct Item {
        std::string Text, Value;
        bool Option = false;
    };
    std::vector<Item> Items_;
    std::size_t Pos_ = 0;
};

// The options of scan, which demo takes too.
const std::vector<CommandOption>& ScanOptions();
// Each command's help, for main's "help COMMAND" and usage errors.
const CommandHelp& ScanHelp();
const CommandHelp& GetHelp();
const CommandHelp& LinksHelp();
const CommandHelp& DemoHelp();
const CommandHelp& DemoServerHelp();

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
