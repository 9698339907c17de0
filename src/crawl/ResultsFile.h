#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// The plain-text record of the links a scan reported: one line per link,
// lines ended by CR LF, open from the start of a scan to its end.
class ResultsFile {
public:
    ResultsFile() = default;
    ResultsFile(const ResultsFile&) = delete;
    ResultsFile& operator=(const ResultsFile&) = delete;
    ~ResultsFile() { Close(); }

    // Creates name anew (an existing file is overwritten).
    bool Open(const std::string& name);
    // Creates a new file that does not exist yet: name, or name with " (2)",
    // " (3)", ... before its extension. Gives the name used.
    bool OpenExclusive(const std::string& name, std::string& usedName);
    void WriteLine(std::string_view line);
    // Writes the default line of a link (FormatLine's).
    void WriteLink(std::string_view typeLink, std::string_view urlFound);
    void Close();
    bool IsOpen() const { return File_ != nullptr; }

    // The default line: "type";"url".
    static std::string FormatLine(std::string_view typeLink, std::string_view urlFound);
    // text followed by spaces up to width characters (UTF-8 code points,
    // so that columns line up whatever the letters); longer text is kept.
    static std::string PadRight(std::string_view text, std::size_t width);
    // The number of UTF-8 code points of text (a stray byte counts as one).
    static std::size_t Characters(std::string_view text);

private:
    std::FILE* File_ = nullptr;
    std::string Line_; // kept from line to line, so that writing allocates nothing
};
