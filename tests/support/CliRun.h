#pragma once

// Runs tessellon-cli as a separate process and keeps what it printed.

#include <QProcess>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

struct CliResult {
    bool Finished = false;
    int ExitCode = -1; // -1 when it did not exit normally
    std::string Out, Err;
    bool Has(const std::string& line) const { return Out.find(line + "\n") != std::string::npos; }
    // Lines of standard output that begin with prefix.
    int CountLines(const std::string& prefix) const {
        int n = 0;
        for (std::size_t at = 0; at < Out.size();) {
            const std::size_t end = Out.find('\n', at);
            if (Out.compare(at, prefix.size(), prefix) == 0) ++n;
            if (end == std::string::npos) break;
            at = end + 1;
        }
        return n;
    }
};

// childSetUp runs in the child between fork and exec (resource limits).
inline CliResult RunCli(const std::vector<std::string>& args,
                        std::function<void()> childSetUp = nullptr, int timeoutMs = 60000) {
    QStringList list;
    for (const auto& a : args)
        list << QString::fromStdString(a);
    QProcess p;
    if (childSetUp) p.setChildProcessModifier(childSetUp);
    p.start(TESSELLON_CLI, list);
    CliResult r;
    if (!p.waitForStarted(10000)) return r;
    r.Finished = p.waitForFinished(timeoutMs);
    if (!r.Finished) {
        p.kill();
        p.waitForFinished(5000);
    }
    r.ExitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Out = p.readAllStandardOutput().toStdString();
    r.Err = p.readAllStandardError().toStdString();
    return r;
}
