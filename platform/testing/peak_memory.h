#pragma once
// The memory a stretch of the program takes at its peak, beyond what it
// held at the start: the kernel's high-water mark of the process, reset when
// the measure begins. For the tests and benchmarks that hold the program to
// a bound on memory.
#include <malloc.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace testing_memory {

class PeakMemory {
 public:
  // blocksFromTheSystem: large blocks are taken from the system and given
  // back to it at once, so that the peak is that of the blocks themselves
  // and not of what the allocator keeps.
  explicit PeakMemory(bool blocksFromTheSystem = false) {
    if (blocksFromTheSystem) {
      ::mallopt(M_MMAP_THRESHOLD, 64 * 1024);
      ::mallopt(M_TRIM_THRESHOLD, 64 * 1024);
    }
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    start_ = kb("VmRSS:");
  }
  long long grown() const { return (kb("VmHWM:") - start_) * 1024; }

 private:
  static long long kb(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + key.size());
    return -1;
  }
  long long start_ = 0;
};

}  // namespace testing_memory
