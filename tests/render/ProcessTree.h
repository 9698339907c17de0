#pragma once

// This process and its descendants (the browser engine's helper processes),
// read from /proc.

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>

struct ProcessTree {
    long RssKb = 0;    // VmRSS summed over the tree
    int Processes = 0; // this one included

    static ProcessTree Now() {
        std::map<int, int> parent;
        if (DIR* proc = ::opendir("/proc")) {
            while (dirent* entry = ::readdir(proc)) {
                const int pid = std::atoi(entry->d_name);
                if (pid <= 0) continue;
                std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
                std::string line;
                std::getline(stat, line);
                const auto close = line.rfind(')');
                if (close == std::string::npos || close + 2 > line.size()) continue;
                std::istringstream rest(line.substr(close + 2));
                char state = 0;
                int ppid = 0;
                rest >> state >> ppid;
                if (state != 'Z') parent[pid] = ppid;
            }
            ::closedir(proc);
        }
        ProcessTree tree;
        for (const auto& [pid, ppid] : parent) {
            int p = pid;
            while (p > 1 && p != ::getpid())
                p = parent.count(p) ? parent[p] : 0;
            if (p != ::getpid()) continue;
            ++tree.Processes;
            std::ifstream status("/proc/" + std::to_string(pid) + "/status");
            for (std::string line; std::getline(status, line);)
                if (line.rfind("VmRSS:", 0) == 0) tree.RssKb += std::atol(line.c_str() + 6);
        }
        return tree;
    }
};
