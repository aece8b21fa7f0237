#pragma once

#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "platform/error.h"
#include "platform/render/texture_cache.h"

namespace talmora {

class ClipDecoder;

// How an element's movie time maps onto its clip's time. Elements playing one file with equal
// timings ask for the same source time at every frame, so they share one decoder.
struct ClipTiming {
  double start = 0;
  double clipstart = 0;
  double clipspeed = 1;
  bool loop = false;
};

// The clip decoders of the elements on screen. Each counts against the texture budget its
// decoded frames and a texture as large as the largest of its elements is drawn, and holds its
// file open until the last element playing it is gone.
class ClipCache {
 public:
  explicit ClipCache(std::shared_ptr<TextureBudget> budget) : budget_(std::move(budget)) {}

  // The decoder playing `path` with `timing` for an element drawn at most `across` × `down`
  // pixels. Refused with a line for the user when its memory would pass the budget or too few
  // files would be left open to the rest of the run; otherwise fails with the decoder's reason.
  Expected<std::shared_ptr<ClipDecoder>> Open(const std::string& path, const ClipTiming& timing,
                                                              double across, double down);

 private:
  using Key = std::tuple<FileKey, double, double, double, bool>;
  struct Entry {
    std::weak_ptr<ClipDecoder> decoder;
    // What its texture is counted at so far; shared with its deleter.
    std::shared_ptr<uint64_t> texture_bytes;
  };

  std::map<Key, Entry> entries_;
  std::shared_ptr<TextureBudget> budget_;
};

}  // namespace talmora
