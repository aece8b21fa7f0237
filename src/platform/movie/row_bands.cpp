#include "platform/movie/row_bands.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace talmora {

namespace {

// Below this many rows a band costs more to hand to a thread than to convert.
constexpr int kMinBandRows = 64;

}  // namespace

void ForEachBand(int rows, int align, const std::function<void(int first_row, int end_row)>& work) {
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const int bands = std::clamp(rows / kMinBandRows, 1, cores);
  if (bands == 1) {
    work(0, rows);
    return;
  }
  const int step = (rows / bands + align - 1) / align * align;
  std::vector<std::jthread> helpers;
  helpers.reserve(static_cast<size_t>(bands - 1));
  for (int first = step; first < rows; first += step) {
    const int end = std::min(first + step, rows);
    try {
      helpers.emplace_back([&work, first, end] { work(first, end); });
    } catch (const std::system_error&) {  // no thread to be had: the band is done here
      work(first, end);
    }
  }
  work(0, std::min(step, rows));
}

}  // namespace talmora
