#include "process_tree.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

namespace quillar::measure {

namespace {

// The fields after the command name, which may hold blanks and parentheses.
bool StatFields(pid_t pid, std::vector<std::string>& fields) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(file, line))
        return false;
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos)
        return false;
    std::istringstream rest(line.substr(close + 2));
    fields.clear();
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields.size() > 13;
}

double StatusKiB(const std::string& path, const std::string& key) {
    std::ifstream file(path);
    double total = 0;
    for (std::string line; std::getline(file, line);)
        if (line.rfind(key, 0) == 0)
            total += std::atof(line.c_str() + key.size());
    return total;
}

} // namespace

std::vector<pid_t> ProcessTree(pid_t root) {
    std::multimap<pid_t, pid_t> children;
    if (DIR* proc = opendir("/proc")) {
        while (const dirent* entry = readdir(proc)) {
            const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
            std::vector<std::string> fields;
            if (pid > 0 && StatFields(pid, fields))
                children.emplace(static_cast<pid_t>(std::atoi(fields[1].c_str())), pid);
        }
        closedir(proc);
    }
    std::vector<pid_t> tree{root};
    for (std::size_t i = 0; i < tree.size(); ++i) {
        const auto range = children.equal_range(tree[i]);
        for (auto it = range.first; it != range.second; ++it)
            tree.push_back(it->second);
    }
    return tree;
}

double CpuSeconds(const std::vector<pid_t>& pids) {
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    double total = 0;
    for (const pid_t pid : pids) {
        std::vector<std::string> fields;
        if (StatFields(pid, fields)) // fields[11], fields[12]: utime, stime
            total += (std::atof(fields[11].c_str()) + std::atof(fields[12].c_str())) / ticks;
    }
    return total;
}

Memory MemoryOf(const std::vector<pid_t>& pids) {
    Memory memory;
    for (const pid_t pid : pids) {
        const std::string dir = "/proc/" + std::to_string(pid);
        memory.rssMiB += StatusKiB(dir + "/status", "VmRSS:") / 1024.0;
        memory.pssMiB += StatusKiB(dir + "/smaps_rollup", "Pss:") / 1024.0;
    }
    return memory;
}

std::vector<pid_t> Renderers(const std::vector<pid_t>& pids) {
    // The zygote forks the render processes, which keep its command line: a
    // render process is a zygote's child with the zygote's command line.
    auto cmdline = [](pid_t pid) {
        std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    };
    std::vector<pid_t> renderers;
    for (const pid_t pid : pids) {
        std::vector<std::string> fields;
        if (!StatFields(pid, fields))
            continue;
        const auto parent = static_cast<pid_t>(std::atoi(fields[1].c_str()));
        if (cmdline(pid).find("--type=zygote") != std::string::npos &&
            cmdline(parent).find("--type=zygote") != std::string::npos)
            renderers.push_back(pid);
    }
    return renderers;
}

} // namespace quillar::measure
