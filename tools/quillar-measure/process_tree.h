#pragma once
// CPU time and memory of a process and all of its descendants, from /proc.

#include <sys/types.h>

#include <vector>

namespace quillar::measure {

// root and every process whose parent chain leads to it.
std::vector<pid_t> ProcessTree(pid_t root);

// utime + stime of the processes, in seconds.
double CpuSeconds(const std::vector<pid_t>& pids);

struct Memory {
    double rssMiB = 0; // sum of VmRSS: pages shared between the processes count in each
    double pssMiB = 0; // sum of Pss: shared pages divided among their users
};
Memory MemoryOf(const std::vector<pid_t>& pids);

// The engine's render processes among pids (command line "--type=renderer").
std::vector<pid_t> Renderers(const std::vector<pid_t>& pids);

} // namespace quillar::measure
