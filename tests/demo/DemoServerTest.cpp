// The demo gallery served over HTTP, written to a folder, and driven through
// tessellon-cli demo-server.
#include "demo/DemoServer.h"
#include "TempDir.h"
#include "demo/DemoOnDemand.h"
#include "demo/LocalListen.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::map<std::string, DemoFile> SmallSite() {
    DemoOptions o;
    o.Pages = 2;
    o.Pairs = 5;
    o.FullWidth = 160;
    o.FullHeight = 120;
    o.ThumbWidth = 40;
    return BuildDemoSite(o);
}

// A path no one can write to, not even root: it goes through a plain file.
std::string Unwritable(const TempDir& dir) {
    const std::string file = dir.Path() + "/plain-file";
    std::ofstream(file) << "x";
    return file + "/site";
}

struct CliRun {
    int Status = -1;
    std::string Output; // standard output and error together
};

CliRun RunCli(const std::string& arguments) {
    CliRun run;
    // A server that should have refused to start is stopped after 30 s.
    const std::string command =
        "timeout 30 " + std::string(TESSELLON_CLI) + " " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.Output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

TEST(DemoServer, ServesTheSameBytesAsTheMap) {
    const auto site = SmallSite();
    DemoServer server(site);
    ASSERT_TRUE(server.Start());
    ASSERT_GT(server.Port(), 0);
    EXPECT_EQ(server.BaseUrl(), "http://127.0.0.1:" + std::to_string(server.Port()) + "/");

    httplib::Client client("127.0.0.1", server.Port());
    for (const auto& [path, file] : site) {
        auto res = client.Get(path.c_str());
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200) << path;
        EXPECT_EQ(res->get_header_value("Content-Type"), file.ContentType) << path;
        EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(file.Bytes.size()))
            << path;
        EXPECT_TRUE(res->body == file.Bytes) << path;
    }
    auto folder = client.Get("/private/");
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->body, site.at("/private/index.html").Bytes);

    for (const char* missing : {"/nothing.html", "/gallery/pics/full_9_99.jpg", "/gallery/"}) {
        auto res = client.Get(missing);
        ASSERT_TRUE(res) << missing;
        EXPECT_EQ(res->status, 404) << missing;
        EXPECT_EQ(res->get_header_value("Content-Type"), "text/plain") << missing;
    }
}

TEST(DemoServer, StartsStopsAndReportsABusyPort) {
    DemoServer first(SmallSite());
    ASSERT_TRUE(first.Start(0));
    EXPECT_FALSE(first.Start(0)) << "already running";

    DemoServer second(SmallSite());
    EXPECT_FALSE(second.Start(first.Port()));

    const int port = first.Port();
    first.Stop();
    first.Stop();
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(1);
    EXPECT_FALSE(client.Get("/")) << "still answering after Stop()";
    // Stopped right after starting: must not hang.
    DemoServer quick(SmallSite());
    ASSERT_TRUE(quick.Start());
}

// A scan opens its connections at once (4 page and 8 file slots by default):
// the kernel must hold them all until the server's thread accepts them, or
// the ones beyond the queue wait for TCP to try again.
TEST(LocalListen, TheQueueHoldsMoreConnectionsThanAScanOpensAtOnce) {
    httplib::Server server; // not accepting yet: every connection waits in the queue
    const int port = ListenLocally(server, "127.0.0.1");
    ASSERT_GT(port, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<int> waiting;
    for (int i = 0; i < 24; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        waiting.push_back(fd);
    }
    // A connection the queue has taken turns writable at once; one it
    // dropped waits for a retry a second away, and is dropped again as long
    // as nobody accepts.
    std::vector<int> connected;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!waiting.empty() && std::chrono::steady_clock::now() < deadline) {
        std::vector<pollfd> polls;
        for (int fd : waiting)
            polls.push_back({fd, POLLOUT, 0});
        ::poll(polls.data(), polls.size(), 100);
        for (const pollfd& p : polls) {
            int error = -1;
            socklen_t size = sizeof error;
            if ((p.revents & POLLOUT) == 0 ||
                ::getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
                continue;
            connected.push_back(p.fd);
            std::erase(waiting, p.fd);
        }
    }
    EXPECT_EQ(connected.size(), 24u);
    for (int fd : connected)
        ::close(fd);
    for (int fd : waiting)
        ::close(fd);
    std::thread accepting([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::yield();
    server.stop();
    accepting.join();
}

TEST(DemoOnDemand, ServesTheGalleryOnlyOnceOneOfItsAddressesIsWanted) {
    // A free port for the demo's home: one a server had and gave back.
    DemoServer probe(SmallSite());
    ASSERT_TRUE(probe.Start(0));
    const int port = probe.Port();
    probe.Stop();
    const std::string home = "http://127.0.0.1:" + std::to_string(port) + "/";
    DemoOnDemand demo(home);
    EXPECT_FALSE(demo.ServeFor("http://127.0.0.1:1/gallery/page1.html"));
    EXPECT_FALSE(demo.Serving());
    ASSERT_TRUE(demo.ServeFor(home + "gallery/page1.html"));
    EXPECT_TRUE(demo.ServeFor(home)) << "already served";
    httplib::Client client("127.0.0.1", port);
    const auto page = client.Get("/gallery/page1.html");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<img"), std::string::npos);

    DemoOnDemand other(home); // the port is held: nothing served, no crash
    EXPECT_FALSE(other.ServeFor(home));
    EXPECT_FALSE(other.Serving());
}

TEST(DemoServer, WritesTheSiteAsStaticFiles) {
    const auto site = SmallSite();
    TempDir dir;
    std::string error;
    ASSERT_TRUE(WriteDemoSite(site, dir.Path() + "/out", error)) << error;
    std::size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir.Path() + "/out"))
        files += e.is_regular_file();
    EXPECT_EQ(files, site.size() - 1); // "/" and "/index.html" are one file
    for (const auto& [path, file] : site) {
        const std::string name = path == "/" ? "/index.html" : path;
        EXPECT_TRUE(ReadFile(dir.Path() + "/out" + name) == file.Bytes) << path;
    }
    // Writing again over the same folder is fine.
    EXPECT_TRUE(WriteDemoSite(site, dir.Path() + "/out", error)) << error;

    error.clear();
    EXPECT_FALSE(WriteDemoSite(site, Unwritable(dir), error));
    EXPECT_NE(error.find("plain-file"), std::string::npos) << error;
}

TEST(DemoServerCommand, WritesTheSiteOrFailsCleanly) {
    TempDir dir;
    CliRun ok = RunCli("demo-server --pages 2 --pairs 3 --write " + dir.Path() + "/site");
    EXPECT_EQ(ok.Status, 0) << ok.Output;
    EXPECT_NE(ok.Output.find("files"), std::string::npos) << ok.Output;
    EXPECT_TRUE(fs::exists(dir.Path() + "/site/gallery/page2.html"));
    EXPECT_TRUE(fs::exists(dir.Path() + "/site/gallery/pics/full_2_03.jpg"));
    EXPECT_FALSE(fs::exists(dir.Path() + "/site/gallery/page3.html"));

    CliRun bad = RunCli("demo-server --pages 1 --pairs 1 --write " + Unwritable(dir));
    EXPECT_EQ(bad.Status, 1) << bad.Output;
    EXPECT_NE(bad.Output.find("cannot"), std::string::npos) << bad.Output;
}

TEST(DemoServerCommand, BadArgumentsExitWithUsage) {
    for (const char* args : {"--pages 0", "--pairs x", "--port 70000", "--write", "--bogus",
                             "somewhere", "--quality 101", "--modern --scripted"}) {
        CliRun run = RunCli(std::string("demo-server ") + args);
        EXPECT_EQ(run.Status, 2) << args << "\n" << run.Output;
        EXPECT_NE(run.Output.find("usage:"), std::string::npos) << args;
    }
}

TEST(DemoServerCommand, ABusyPortExitsWithOne) {
    DemoServer holder(SmallSite());
    ASSERT_TRUE(holder.Start());
    CliRun run = RunCli("demo-server --pages 1 --pairs 1 --port " + std::to_string(holder.Port()));
    EXPECT_EQ(run.Status, 1) << run.Output;
    EXPECT_NE(run.Output.find(std::to_string(holder.Port())), std::string::npos) << run.Output;
}

// Serves until Ctrl-C, announcing the address on the first line.
TEST(DemoServerCommand, ServesUntilInterrupted) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        ::execl(TESSELLON_CLI, TESSELLON_CLI, "demo-server", "--pages", "2", "--pairs", "3",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    ::close(out[0]);

    const std::string prefix = "serving the demo gallery at http://127.0.0.1:";
    const bool announced = line.starts_with(prefix) && line.ends_with("/");
    int port = 0;
    if (announced) port = std::atoi(line.c_str() + prefix.size());
    if (port > 0) {
        httplib::Client client("127.0.0.1", port);
        auto page = client.Get("/gallery/page2.html");
        EXPECT_TRUE(page && page->status == 200 &&
                    page->body.find("thumbs/thumb_2_03.jpg") != std::string::npos);
    }
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(announced) << line;
    EXPECT_GT(port, 0) << line;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// Every thumbnail and full-size picture of the gallery lies in the storage
// folder, byte for byte; text-only links (the poster, the clip) were not
// taken; nothing lies outside the storage folder. Returns the count.
int ExpectEveryPair(const DemoOptions& o, const TempDir& dir, const std::string& out,
                    const CliRun& run) {
    const std::map<std::string, DemoFile> site = BuildDemoSite(o);
    // The one host folder: the server's own port is not the default.
    std::string host;
    for (const auto& entry : fs::directory_iterator(out))
        host = entry.path().filename().string();
    EXPECT_TRUE(host.starts_with("127.0.0.1+")) << host;
    int pictures = 0;
    for (int page = 1; page <= o.Pages; ++page) {
        for (int pair = 1; pair <= o.Pairs; ++pair) {
            for (const std::string& path :
                 {DemoThumbPath(o, page, pair), DemoFullPath(o, page, pair)}) {
                const fs::path file = out + "/" + host + path;
                EXPECT_TRUE(fs::exists(file)) << path << "\n" << run.Output;
                if (!fs::exists(file)) continue;
                EXPECT_EQ(ReadFile(file), site.at(path).Bytes) << path;
                ++pictures;
            }
        }
    }
    EXPECT_FALSE(fs::exists(out + "/" + host + DemoPosterPath(1)));
    EXPECT_FALSE(fs::exists(out + "/" + host + std::string(kDemoClipPath)));
    EXPECT_NE(run.Output.find(std::to_string(pictures) + " pictures stored"), std::string::npos)
        << run.Output;
    for (const auto& entry : fs::recursive_directory_iterator(dir.Path())) {
        const std::string p = entry.path().string();
        EXPECT_EQ(p.rfind(out, 0), 0u) << "outside the storage folder: " << p;
    }
    return pictures;
}

// The run command's job: on a fresh settings folder, every pair of the
// gallery ends up in the storage folder.
TEST(DemoCommand, StoresEveryPairOfTheGallery) {
    TempDir dir;
    const std::string out = dir.Path() + "/store";
    CliRun run = RunCli("demo --out " + out + " --no-external");
    ASSERT_EQ(run.Status, 0) << run.Output;
    const DemoOptions o;
    EXPECT_EQ(ExpectEveryPair(o, dir, out, run), 2 * o.Pages * o.Pairs);

    CliRun withUrl = RunCli("demo http://127.0.0.1:1/");
    EXPECT_EQ(withUrl.Status, 2) << withUrl.Output;
}

// The gallery in today's markup names its full-size pictures only in
// srcset, PICTURE sources and lazy-loading attributes, never in a link:
// without the setting no pair is found, with it every one.
TEST(DemoCommand, TheModernGalleryPairsOnlyWithTheModernMarkupSetting) {
    DemoOptions o;
    o.Modern = true;
    {
        TempDir dir;
        const std::string out = dir.Path() + "/store";
        CliRun run = RunCli("demo --modern --out " + out + " --no-external");
        ASSERT_EQ(run.Status, 0) << run.Output;
        EXPECT_NE(run.Output.find("\n0 pictures stored"), std::string::npos) << run.Output;
        for (const auto& entry : fs::recursive_directory_iterator(out)) {
            const std::string p = entry.path().string();
            EXPECT_EQ(p.find("/gallery/pics"), std::string::npos) << p << "\n" << run.Output;
            EXPECT_EQ(p.find("/gallery/thumbs"), std::string::npos) << p << "\n" << run.Output;
        }
    }
    TempDir dir;
    const std::string out = dir.Path() + "/store";
    CliRun run = RunCli("demo --modern --modern-markup --out " + out + " --no-external");
    ASSERT_EQ(run.Status, 0) << run.Output;
    EXPECT_EQ(ExpectEveryPair(o, dir, out, run), 2 * o.Pages * o.Pairs);
}

// Without rendering, the scripted gallery's pages show nothing to pair: the
// pages are fetched, no picture is stored, and the exit status is the demo's.
TEST(DemoCommand, TheScriptedGalleryStoresNoPictureWithoutRendering) {
    TempDir dir;
    const std::string out = dir.Path() + "/store";
    CliRun run = RunCli("demo --scripted --out " + out + " --no-external");
    ASSERT_EQ(run.Status, 0) << run.Output;
    EXPECT_NE(run.Output.find("\n0 pictures stored"), std::string::npos) << run.Output;
    int pages = 0;
    for (const auto& entry : fs::recursive_directory_iterator(out)) {
        const std::string p = entry.path().string();
        pages += p.ends_with(".html") && p.find("/gallery/page") != std::string::npos;
        EXPECT_EQ(p.find("/gallery/pics"), std::string::npos) << p << "\n" << run.Output;
        EXPECT_EQ(p.find("/gallery/thumbs"), std::string::npos) << p << "\n" << run.Output;
    }
    EXPECT_EQ(pages, DemoOptions().Pages) << run.Output;

    CliRun both = RunCli("demo --modern --scripted");
    EXPECT_EQ(both.Status, 2) << both.Output;
}

// demo-server --scripted writes each page's list beside it.
TEST(DemoServerCommand, ScriptedWritesEachPagesList) {
    TempDir dir;
    ASSERT_EQ(
        RunCli("demo-server --pages 2 --pairs 3 --scripted --write " + dir.Path() + "/s").Status,
        0);
    EXPECT_NE(ReadFile(dir.Path() + "/s/gallery/page2.json").find("thumbs/thumb_2_03.jpg"),
              std::string::npos);
    EXPECT_TRUE(fs::exists(dir.Path() + "/s/gallery/pics/full_2_03.jpg"));
}

// demo-server --modern writes the same files, only the pages differ.
TEST(DemoServerCommand, ModernWritesTheSamePicturesInTodaysMarkup) {
    TempDir dir;
    ASSERT_EQ(
        RunCli("demo-server --pages 1 --pairs 3 --modern --write " + dir.Path() + "/m").Status, 0);
    ASSERT_EQ(RunCli("demo-server --pages 1 --pairs 3 --write " + dir.Path() + "/o").Status, 0);
    const std::string modern = ReadFile(dir.Path() + "/m/gallery/page1.html");
    for (const char* markup : {"srcset=", "<picture>", "data-src=", "og:image"})
        EXPECT_NE(modern.find(markup), std::string::npos) << markup;
    EXPECT_EQ(modern.find("<a href=\"pics/"), std::string::npos) << modern;
    EXPECT_EQ(ReadFile(dir.Path() + "/m/gallery/pics/full_1_02.jpg"),
              ReadFile(dir.Path() + "/o/gallery/pics/full_1_02.jpg"));
}
