// Joins a rendered movie and its sound track into one file ROUNDS times, as `--output` does after
// both passes, and prints the median wall and processor time of one join.
// Usage: bench_joined_file MOVIE.avi TRACK.wav OUTPUT [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/movie/joined_file.h"

extern "C" {
#include <libavutil/log.h>
}

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s MOVIE.avi TRACK.wav OUTPUT [ROUNDS]\n", argv[0]);
    return 2;
  }
  av_log_set_level(AV_LOG_QUIET);
  const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
  std::vector<double> wall, cpu;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpu_start = std::clock();
    const std::string failure = talmora::WriteJoinedFile(argv[3], {argv[1], argv[2]});
    cpu.push_back(static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC);
    wall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (!failure.empty()) {
      std::fprintf(stderr, "failed: %s\n", failure.c_str());
      return 1;
    }
  }
  std::sort(wall.begin(), wall.end());
  std::sort(cpu.begin(), cpu.end());
  std::printf("%.3f %.3f\n", wall[wall.size() / 2], cpu[cpu.size() / 2]);
  return 0;
}
