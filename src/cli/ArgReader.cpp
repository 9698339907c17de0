// The command-line reader of every command, on QCommandLineParser, and the
// help each command prints.
#include "cli/CliSupport.h"

#include <QCommandLineParser>
#include <QStringList>

#include <charconv>
#include <map>

namespace {

bool TakesValue(const CommandOption& o) {
    return o.Value != nullptr && o.Value[0] != '\0';
}

bool ValueMayBeLeftOut(const CommandOption& o) {
    return TakesValue(o) && o.Value[0] == '[';
}

std::string Dashed(const std::string& name) {
    return (name.size() == 1 ? "-" : "--") + name;
}

// The parser has no values that may be left out: "--filter WORDS" becomes
// "--filter=WORDS", and "--filter" alone "--filter=", before it reads them.
std::vector<std::string> JoinOptionalValues(std::vector<std::string> args,
                                            const CommandHelp& command) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            out.insert(out.end(), args.begin() + std::ptrdiff_t(i), args.end());
            break;
        }
        const CommandOption* optional = nullptr;
        for (const CommandOption& o : command.Options)
            if (ValueMayBeLeftOut(o) && a == Dashed(o.Name)) optional = &o;
        if (optional == nullptr) {
            out.push_back(a);
        } else if (i + 1 < args.size() && !args[i + 1].starts_with("-")) {
            out.push_back(a + "=" + args[++i]);
        } else {
            out.push_back(a + "=");
        }
    }
    return out;
}

} // namespace

std::string CommandHelp::UsageLine() const {
    return std::string("usage: tessellon-cli ") + Name + " " + Synopsis + "\n";
}

std::string CommandHelp::Text() const {
    std::string text = UsageLine() + Summary + "\n\noptions:\n";
    const auto line = [&](std::string names, const char* help) {
        names = "  " + names;
        if (names.size() < 28)
            names.resize(28, ' ');
        else
            names += "\n" + std::string(28, ' ');
        // The help wraps at 79 columns, under its own column.
        std::string row = names;
        std::size_t start = 0;
        const std::string words = help;
        while (start < words.size()) {
            std::size_t end = words.size();
            if (row.size() + (end - start) > 79) {
                end = words.rfind(' ', start + (79 - row.size()));
                if (end == std::string::npos || end <= start) end = words.find(' ', start);
                if (end == std::string::npos) end = words.size();
            }
            text += row + words.substr(start, end - start) + "\n";
            row = std::string(28, ' ');
            start = end < words.size() ? end + 1 : end;
        }
    };
    line("-h, --help", "print this help and exit");
    for (const CommandOption& o : Options) {
        std::string names = Dashed(o.Name);
        if (TakesValue(o)) names += std::string(" ") + o.Value;
        line(names, o.Help);
    }
    text += "\nAn option's value follows it (--out DIR) or is joined to it (--out=DIR);\n"
            "\"--\" ends the options, for arguments that begin with a dash.\n";
    return text;
}

ArgReader::ArgReader(std::vector<std::string> args, const CommandHelp& command) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.addOption(QCommandLineOption(QStringList{"h", "help"}));
    std::map<std::string, const CommandOption*> byName;
    for (const CommandOption& o : command.Options) {
        const QString name = QString::fromUtf8(o.Name);
        parser.addOption(TakesValue(o) ? QCommandLineOption(name, {}, QString::fromUtf8(o.Value))
                                       : QCommandLineOption(name));
        byName[o.Name] = &o;
    }
    QStringList list{QString::fromUtf8(command.Name)};
    for (const std::string& a : JoinOptionalValues(std::move(args), command))
        list << QString::fromStdString(a);
    if (!parser.parse(list)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            throw UsageError{"unknown option " + Dashed(unknown.first().toStdString())};
        throw UsageError{parser.errorText().toStdString()};
    }
    if (parser.isSet("help")) throw HelpRequest{command.Text()};

    // Each option in the order given, with the value given with it.
    std::map<std::string, int> seen;
    for (const QString& qname : parser.optionNames()) {
        const std::string name = qname.toStdString();
        const auto known = byName.find(name);
        if (known == byName.end()) continue;
        Item item{Dashed(name), {}, true};
        if (TakesValue(*known->second)) {
            const QStringList values = parser.values(qname);
            const int k = seen[name]++;
            if (k < values.size()) item.Value = values[k].toStdString();
        }
        Items_.push_back(std::move(item));
    }
    for (const QString& a : parser.positionalArguments())
        Items_.push_back({a.toStdString(), {}, false});
}

bool ArgReader::Has(const std::string& option) const {
    for (const Item& item : Items_)
        if (item.Option && item.Text == option) return true;
    return false;
}

std::string ArgReader::Value(const std::string&) {
    return Items_[Pos_ - 1].Value;
}

bool ArgReader::OptionalValue(std::string& out) {
    out = Items_[Pos_ - 1].Value;
    return !out.empty();
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
