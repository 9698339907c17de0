// The library list over a generated storage tree of 100 000 files: a warm
// Build (scan, records, filter, default sort), each sort key over the
// 100 000 lines, and the memory the lists hold per file. Then a second tree
// of 100 000 files all named large.jpg, sorted by File Name from the
// settings a new user has.
//
//   ./build/bench/bench_viewlist
//   ./build/bench/bench_viewlist --benchmark_filter=BM_SortEqualNames
//
// Targets: Build under 2 s warm; the lists at most 1 KB a file and the
// build's peak under 100 MB; File Name over the equal names under 300 ms.

#include "ProcessStatus.h"
#include "viewer/ViewList.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kHosts = 100;
constexpr int kFoldersPerHost = 10;
constexpr int kFilesPerFolder = 100; // 100 000 files in all

std::string gRoot;
std::string gEqualNames; // made by the first run of BM_SortEqualNames

// Hosts, folders and files with the mix the storage folder holds: mixed
// case, read-only thumbnails, several types, sizes up to a few MB (sparse,
// so the tree costs no disk).
void MakeTree(const std::string& root) {
    unsigned seed = 1;
    for (int h = 0; h < kHosts; ++h)
        for (int d = 0; d < kFoldersPerHost; ++d) {
            const std::string folder = root + "/www.Host" + std::to_string(h) + ".example/gallery" +
                                       std::to_string(d) + "/";
            fs::create_directories(folder);
            for (int f = 0; f < kFilesPerFolder; ++f) {
                seed = seed * 1103515245u + 12345u;
                const bool thumb = f % 2 == 1;
                const char* type = (f % 7 == 0) ? ".GIF" : (f % 11 == 0 ? ".avi" : ".jpg");
                const std::string name = folder + (thumb ? "tn_" : "IMG_") + std::to_string(f) +
                                         "_" + std::to_string(seed % 1000) + type;
                const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
                if (fd < 0) std::abort();
                if (::ftruncate(fd, off_t(seed % (thumb ? 16384 : 4u << 20))) != 0) std::abort();
                ::close(fd);
                if (thumb) ::chmod(name.c_str(), 0444);
            }
        }
}

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Heap the lists hold after a build, per file, and the process's peak
// resident size during the build above what it held before. Registered
// first, so that it runs before the other benchmarks have grown the heap.
void BM_Memory(benchmark::State& state) {
    for (auto _ : state) {
        ::malloc_trim(0); // what earlier lists freed leaves the resident set
        const std::size_t heapBefore = mallinfo2().uordblks;
        ResetPeak();
        const long rssBefore = StatusKiB("VmRSS");
        ViewList list;
        list.SetDisplayedSize(2);
        list.RootFolder = gRoot;
        const int found = list.Build();
        const long peak = StatusKiB("VmHWM");
        const std::size_t heapAfter = mallinfo2().uordblks;
        state.counters["files"] = found;
        state.counters["heap_bytes_per_file"] = double(heapAfter - heapBefore) / found;
        state.counters["heap_MB"] = double(heapAfter - heapBefore) / 1e6;
        state.counters["peak_rise_MB"] = double(peak - rssBefore) / 1024.0;
        state.counters["peak_rss_MB"] = double(peak) / 1024.0;
    }
}
BENCHMARK(BM_Memory)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Build(benchmark::State& state) {
    ViewList list;
    list.SetDisplayedSize(2);
    list.SetSortType(VIEWSORT_PATHTREE);
    list.RootFolder = gRoot;
    list.Build(); // warms the directory cache
    int found = 0;
    for (auto _ : state)
        found = list.Build();
    state.counters["files"] = found;
}
BENCHMARK(BM_Build)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Sort(benchmark::State& state) {
    ViewList list;
    list.SetDisplayedSize(2);
    list.RootFolder = gRoot;
    list.Build();
    const int sortType = int(state.range(0));
    const bool descending = state.range(1) != 0;
    std::vector<ViewLine> lines;
    for (auto _ : state) {
        state.PauseTiming();
        lines = list.Lines(); // in record order, as Filter leaves them
        std::sort(lines.begin(), lines.end(),
                  [](const ViewLine& a, const ViewLine& b) { return a.Record < b.Record; });
        state.ResumeTiming();
        SortViewLines(lines, sortType, descending);
        benchmark::DoNotOptimize(lines.data());
    }
    state.counters["lines"] = double(lines.size());
}
BENCHMARK(BM_Sort)
    ->ArgNames({"key", "desc"})
    ->ArgsProduct({{VIEWSORT_DATE, VIEWSORT_PATHTREE, VIEWSORT_FILESIZE, VIEWSORT_FILENAME},
                   {0, 1}})
    ->Unit(benchmark::kMillisecond);

// 100 000 full-size files, every one named large.jpg, one a folder: what a
// site that names all its pictures alike leaves in the storage folder. In
// memory where there is a tmpfs: 100 000 folders on a disk take minutes.
std::string MakeEqualNamesTree() {
    char shm[] = "/dev/shm/tessellon-viewlist-equal-XXXXXX";
    char tmp[] = "/tmp/tessellon-viewlist-equal-XXXXXX";
    const char* tree = ::mkdtemp(shm);
    if (!tree) tree = ::mkdtemp(tmp);
    if (!tree) std::abort();
    std::fprintf(stderr, "generating 100000 equal names under %s\n", tree);
    for (int h = 0; h < 100; ++h)
        for (int d = 0; d < 1000; ++d) {
            const std::string folder = std::string(tree) + "/www.Host" + std::to_string(h) +
                                       ".example/p" + std::to_string(d) + "/";
            fs::create_directories(folder);
            const int fd = ::open((folder + "large.jpg").c_str(), O_CREAT | O_WRONLY, 0644);
            if (fd < 0 || ::ftruncate(fd, off_t(300 << 10)) != 0) std::abort();
            ::close(fd);
        }
    return tree;
}

// The library as a new user has it (its own fresh settings: Path Tree,
// full size only, ascending) over the equal names; each iteration is the
// "File Name" menu item's work: the setting, the sort and the showing. The
// Path Tree order the user started from is put back between iterations.
void BM_SortEqualNames(benchmark::State& state) {
    if (gEqualNames.empty()) gEqualNames = MakeEqualNamesTree();
    const std::string& tree = gEqualNames;
    char config[] = "/tmp/tessellon-viewlist-fresh-XXXXXX";
    if (!::mkdtemp(config)) std::abort();
    const std::string shared = std::getenv("TESSELLON_CONFIG_DIR");
    ::setenv("TESSELLON_CONFIG_DIR", config, 1);
    {
        ViewList list;
        list.RootFolder = tree;
        const int found = list.Build();
        for (auto _ : state) {
            list.SetSortType(VIEWSORT_FILENAME);
            list.SortLines();
            list.ShowLines();
            state.PauseTiming();
            list.SetSortType(VIEWSORT_PATHTREE);
            list.SortLines();
            state.ResumeTiming();
        }
        state.counters["lines"] = double(list.Lines().size());
        state.counters["files"] = found;
        if (found != 100000 || list.Lines().size() != 100000u)
            state.SkipWithError("the tree is not 100000 full-size files");
    }
    ::setenv("TESSELLON_CONFIG_DIR", shared.c_str(), 1);
    std::error_code ec;
    fs::remove_all(config, ec);
}
BENCHMARK(BM_SortEqualNames)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // Build processes events after each folder
    char config[] = "/tmp/tessellon-viewlist-config-XXXXXX";
    char tree[] = "/tmp/tessellon-viewlist-tree-XXXXXX";
    if (!::mkdtemp(config) || !::mkdtemp(tree)) return 1;
    ::setenv("TESSELLON_CONFIG_DIR", config, 1);
    gRoot = tree;
    std::fprintf(stderr, "generating %d files under %s\n",
                 kHosts * kFoldersPerHost * kFilesPerFolder, tree);
    MakeTree(gRoot);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(tree, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(tree, ec);
    if (!gEqualNames.empty()) fs::remove_all(gEqualNames, ec);
    fs::remove_all(config, ec);
    return 0;
}
