// The command line as users type it: joined values, help for each command,
// and "--" before arguments that begin with a dash.
#include "CliRun.h"
#include "TempDir.h"
#include "TestHttpServer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

const std::string kPages = TESSELLON_CLI_PAGES;

} // namespace

// The same scan typed both ways: "--depth=1" stops at the start page as
// "--depth 1" does, and every joined value is taken.
TEST(CommandLine, JoinedAndSeparateValuesMeanTheSame) {
    TestHttpServer server;
    server.Serve("/index.html", "text/html", "<img src=\"a.jpg\"><a href=\"next.html\">next</a>");
    server.Serve("/next.html", "text/html", "<img src=\"b.jpg\">");
    server.Serve("/a.jpg", "image/jpeg", "picture a");
    server.Serve("/b.jpg", "image/jpeg", "picture b");
    for (const bool joined : {true, false}) {
        TempDir dir;
        const std::vector<std::string> args =
            joined ? std::vector<std::string>{"scan", "--depth=1", "--out=" + dir.Path(),
                                              "--download=src", server.Url("/index.html")}
                   : std::vector<std::string>{
                         "scan",     "--depth",    "1",   "--out",
                         dir.Path(), "--download", "src", server.Url("/index.html")};
        const CliResult r = RunCli(args);
        ASSERT_TRUE(r.Finished);
        EXPECT_EQ(r.ExitCode, 0) << joined << r.Out << r.Err;
        EXPECT_EQ(ReadFile(dir.Sub(server.HostFolder() + "/a.jpg")), "picture a") << joined;
    }
    EXPECT_EQ(server.Count("/next.html"), 0) << "the depth was not taken";

    // An optional value may be joined too; a separate one is taken unless it
    // begins with a dash.
    const std::string page = kPages + "/filters.html";
    const CliResult joined =
        RunCli({"links", page, "--url=http://www.a.com/index.htm", "--filter=TWO,jo@"});
    const CliResult separate =
        RunCli({"links", page, "--filter", "TWO,jo@", "--url", "http://www.a.com/index.htm"});
    const CliResult defaults =
        RunCli({"links", page, "--filter", "--url", "http://www.a.com/index.htm"});
    EXPECT_EQ(joined.ExitCode, 0) << joined.Err;
    EXPECT_EQ(joined.Out, separate.Out);
    EXPECT_EQ(joined.Out.find("two.htm"), std::string::npos) << joined.Out;
    EXPECT_NE(defaults.Out, joined.Out);
    EXPECT_EQ(defaults.Out.find("stats/x.gif"), std::string::npos) << defaults.Out;
}

TEST(CommandLine, EachCommandHasItsOwnHelp) {
    const std::vector<std::pair<std::string, std::string>> commands{
        {"scan", "--file-concurrency N"},
        {"get", "-i FILE"},
        {"links", "--url PAGE_URL"},
        {"demo", "--modern-markup"},
        {"demo-server", "--write DIR"}};
    for (const auto& [command, option] : commands) {
        for (const char* flag : {"-h", "--help"}) {
            const CliResult r = RunCli({command, flag});
            EXPECT_EQ(r.ExitCode, 0) << command << " " << flag << r.Err;
            EXPECT_TRUE(r.Out.starts_with("usage: tessellon-cli " + command + " ")) << r.Out;
            EXPECT_NE(r.Out.find(option), std::string::npos) << command << r.Out;
            EXPECT_NE(r.Out.find("-h, --help"), std::string::npos) << command;
            // Its own options only, not every command's usage.
            EXPECT_EQ(r.Out.find("commands:"), std::string::npos) << command << r.Out;
        }
        EXPECT_EQ(RunCli({"help", command}).Out, RunCli({command, "--help"}).Out) << command;
    }
    // A help request wins over missing arguments, and starts nothing.
    EXPECT_EQ(RunCli({"demo-server", "--port", "1", "--help"}).ExitCode, 0);
    EXPECT_EQ(RunCli({"-h"}).ExitCode, 0);
    EXPECT_EQ(RunCli({"help", "nothing"}).ExitCode, 2);
}

TEST(CommandLine, DoubleDashEndsTheOptions) {
    TempDir dir;
    const std::string page = "-page.html"; // a name that looks like an option
    WriteFile(dir.Sub(page), "<a href=\"x.jpg\">x</a>");
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(dir.Path()));
    p.start(TESSELLON_CLI, {"links", "--url", "http://h.example/g/", "--", "-page.html"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(p.readAllStandardOutput().toStdString(), "\"jpg\";\"http://h.example/g/x.jpg\"\n");
    // Without it the name is an unknown option.
    p.start(TESSELLON_CLI, {"links", "--url", "http://h.example/g/", "-page.html"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 2);
}

TEST(CommandLine, BadOptionsExitTwoWithTheCommandsUsage) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"scan", "--depth=0", "http://127.0.0.1:9/"},
             {"scan", "--thumbs=yes", "http://127.0.0.1:9/"},
             {"scan", "--bogus=1", "http://127.0.0.1:9/"},
             {"scan", "http://127.0.0.1:9/", "--out"},
             {"get", "-x", "http://127.0.0.1:9/a.jpg"},
             {"demo", "--modern=1"},
         }) {
        const CliResult r = RunCli(args, nullptr, 20000);
        EXPECT_EQ(r.ExitCode, 2) << args[1] << r.Out << r.Err;
        EXPECT_NE(r.Err.find("usage: tessellon-cli " + args[0] + " "), std::string::npos) << r.Err;
    }
    EXPECT_NE(RunCli({"scan", "--bogus=1", "http://127.0.0.1:9/"}).Err.find("--bogus"),
              std::string::npos);
}

// On pages without scripts --render changes nothing a scan stores or a
// saved page yields.
TEST(CommandLine, RenderStoresWhatAPlainScanStores) {
    TestHttpServer server;
    server.Serve("/index.html", "text/html", "<img src=\"a.jpg\"><a href=\"next.html\">next</a>");
    server.Serve("/next.html", "text/html", "<a href=\"b.jpg\">b</a>");
    server.Serve("/a.jpg", "image/jpeg", "picture a");
    server.Serve("/b.jpg", "image/jpeg", "picture b");
    std::vector<std::string> stored[2];
    for (const bool render : {false, true}) {
        TempDir dir;
        std::vector<std::string> args{"scan", server.Url("/index.html"), "--out", dir.Path(),
                                      "--download", "both"};
        if (render) args.push_back("--render");
        const CliResult r = RunCli(args);
        ASSERT_TRUE(r.Finished);
        EXPECT_EQ(r.ExitCode, 0) << render << r.Out << r.Err;
        stored[render] = FilesUnder(dir.Path());
        EXPECT_EQ(ReadFile(dir.Sub(server.HostFolder() + "/index.html")),
                  "<img src=\"a.jpg\"><a href=\"next.html\">next</a>");
    }
    EXPECT_EQ(stored[1], stored[0]);
    EXPECT_EQ(stored[0].size(), 4U);

    const std::string page = kPages + "/filters.html";
    const CliResult plain = RunCli({"links", page, "--url", "http://example.test/"});
    const CliResult rendered = RunCli({"links", page, "--url", "http://example.test/", "--render"});
    EXPECT_EQ(rendered.ExitCode, 0) << rendered.Err;
    EXPECT_EQ(rendered.Out, plain.Out);
}

// tessellon-cli hands --render to tessellon-cli-render; a copy that finds
// no such program says so and stores nothing.
TEST(CommandLine, RenderWithoutTheEngineProgramIsAClearError) {
    if (QFileInfo::exists(QStringLiteral(TESSELLON_RENDER_INSTALLED)))
        GTEST_SKIP() << "tessellon-cli-render is installed on this machine";
    TempDir dir;
    const std::string lone = dir.Sub("tessellon-cli");
    ASSERT_TRUE(QFile::copy(QStringLiteral(TESSELLON_CLI), QString::fromStdString(lone)));
    QProcess p;
    p.start(QString::fromStdString(lone),
            {"scan", "http://127.0.0.1:9/", "--out", QString::fromStdString(dir.Sub("out")),
             "--render"});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_NE(p.readAllStandardError().indexOf("--render is not available: tessellon-cli-render"),
              -1);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir.Sub("out"))));
}
