// The floor of a crawl: fetch a list of addresses known in advance over a
// few keep-alive connections with one libcurl multi loop, and write each
// body to a numbered file. No parsing, no file naming, no queue: whatever a
// crawler spends beyond this is its own work.
//
//   bench_floor_fetch --list FILE --out DIR [--connections N]
//
// FILE holds one address a line (blank lines are skipped). The body of the
// address on line k (counting addresses only, from 1) goes to DIR/k. N
// defaults to 12, the page and file slots of the crawler together (4 + 8).
// Prints the files, bytes, wall and CPU time; exits 1 when an address did
// not answer 200, listing those addresses on stderr.

#include <curl/curl.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The addresses of a list file, in order: each line trimmed of surrounding
// blanks (a CR of a CRLF line included), empty lines left out.
std::vector<std::string> ReadAddressList(std::istream& in) {
    std::vector<std::string> addresses;
    std::string line;
    while (std::getline(in, line)) {
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) continue;
        const auto last = line.find_last_not_of(" \t\r");
        addresses.push_back(line.substr(first, last - first + 1));
    }
    return addresses;
}

struct Transfer {
    CURL* Easy = nullptr;
    int Fd = -1;
    std::size_t Index = 0; // into the address list
    bool WriteFailed = false;
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t total = size * count;
    std::size_t done = 0;
    while (done < total) {
        const ssize_t n = ::write(transfer->Fd, data + done, total - done);
        if (n < 0) {
            transfer->WriteFailed = true;
            return 0; // libcurl ends the transfer with a write error
        }
        done += std::size_t(n);
    }
    return total;
}

double Seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

int Usage(const char* program) {
    std::fprintf(stderr, "usage: %s --list FILE --out DIR [--connections N]\n", program);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string listPath, outDir;
    long connections = 12;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return Usage(argv[0]);
        if (arg == "--list")
            listPath = argv[++i];
        else if (arg == "--out")
            outDir = argv[++i];
        else if (arg == "--connections")
            connections = std::strtol(argv[++i], nullptr, 10);
        else
            return Usage(argv[0]);
    }
    if (listPath.empty() || outDir.empty() || connections < 1) return Usage(argv[0]);

    std::ifstream listFile(listPath);
    if (!listFile) {
        std::fprintf(stderr, "cannot read the list %s\n", listPath.c_str());
        return 2;
    }
    const std::vector<std::string> addresses = ReadAddressList(listFile);
    if (addresses.empty()) {
        std::fprintf(stderr, "the list %s holds no address\n", listPath.c_str());
        return 2;
    }
    if (::access(outDir.c_str(), W_OK) != 0) {
        std::fprintf(stderr, "cannot write to the folder %s\n", outDir.c_str());
        return 2;
    }

    const auto start = std::chrono::steady_clock::now();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURLM* multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, connections);
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, connections);

    // One easy handle per connection, each reused for its next address:
    // the multi handle's connection cache keeps the connections alive.
    std::vector<Transfer> slots(std::size_t(std::min<long>(connections, long(addresses.size()))));
    std::size_t next = 0;
    std::vector<std::size_t> failed;
    long files = 0;
    curl_off_t bytes = 0;

    const auto startNext = [&](Transfer& t) {
        t.Index = next++;
        const std::string path = outDir + "/" + std::to_string(t.Index + 1);
        t.Fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (t.Fd < 0) {
            std::perror(path.c_str());
            std::exit(1);
        }
        t.WriteFailed = false;
        curl_easy_setopt(t.Easy, CURLOPT_URL, addresses[t.Index].c_str());
        curl_multi_add_handle(multi, t.Easy);
    };
    for (Transfer& t : slots) {
        t.Easy = curl_easy_init();
        curl_easy_setopt(t.Easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(t.Easy, CURLOPT_PROXY, "");
        curl_easy_setopt(t.Easy, CURLOPT_BUFFERSIZE, 128L * 1024);
        curl_easy_setopt(t.Easy, CURLOPT_WRITEFUNCTION, WriteBody);
        curl_easy_setopt(t.Easy, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(t.Easy, CURLOPT_PRIVATE, &t);
        startNext(t);
    }

    int running = 1;
    while (running > 0) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) break;
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
            if (msg->msg != CURLMSG_DONE) continue;
            Transfer* t = nullptr;
            curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &t);
            long status = 0;
            curl_off_t size = 0;
            curl_easy_getinfo(t->Easy, CURLINFO_RESPONSE_CODE, &status);
            curl_easy_getinfo(t->Easy, CURLINFO_SIZE_DOWNLOAD_T, &size);
            ::close(t->Fd);
            if (msg->data.result == CURLE_OK && status == 200 && !t->WriteFailed) {
                ++files;
                bytes += size;
            } else {
                failed.push_back(t->Index);
            }
            curl_multi_remove_handle(multi, t->Easy);
            if (next < addresses.size()) {
                startNext(*t);
                running = 1; // the loop must go on for the handle just added
            }
        }
        if (running > 0) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }

    for (Transfer& t : slots)
        curl_easy_cleanup(t.Easy);
    curl_multi_cleanup(multi);
    curl_global_cleanup();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);

    std::printf("%ld files, %lld bytes, %.3f s wall, %.3f s cpu (%.3f user + %.3f sys), "
                "%ld connections\n",
                files, static_cast<long long>(bytes), wall,
                Seconds(usage.ru_utime) + Seconds(usage.ru_stime), Seconds(usage.ru_utime),
                Seconds(usage.ru_stime), long(slots.size()));
    for (std::size_t index : failed)
        std::fprintf(stderr, "not fetched (address %zu): %s\n", index + 1,
                     addresses[index].c_str());
    if (files != long(addresses.size())) {
        std::fprintf(stderr, "%zu of %zu addresses failed\n", failed.size(), addresses.size());
        return 1;
    }
    return 0;
}
