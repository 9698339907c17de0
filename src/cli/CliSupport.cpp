#include "CliSupport.h"

#include <charconv>
#include <fstream>
#include <sstream>

std::string ArgReader::Value(const std::string& option) {
    if (Done()) throw UsageError{option + " needs a value"};
    return Next();
}

bool ArgReader::OptionalValue(std::string& out) {
    if (Done() || Args_[Pos_].starts_with("-")) return false;
    out = Next();
    return true;
}

int ArgReader::IntValue(const std::string& option, int min, int max) {
    const std::string v = Value(option);
    int n = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (ec != std::errc() || end != v.data() + v.size() || n < min || n > max)
        throw UsageError{option + " needs a number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not \"" + v + "\""};
    return n;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) return false;
    out = ss.str();
    return true;
}

std::string CommaListToLines(std::string_view list) {
    std::string out;
    for (char c : list) out += (c == ',') ? '\n' : c;
    return out;
}
