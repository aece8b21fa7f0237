#include "platform/render/clip_cache.h"

#include <dirent.h>
#include <sys/resource.h>

#include <cmath>

#include "platform/render/clip_decoder.h"

namespace talmora {
namespace {

// Files kept for the rest of the run (the movie, its sound, pictures, fonts) however many
// clips are on screen.
constexpr long kSpareFiles = 32;

// The soft limit on open files and how many are open; empty when either cannot be told.
std::optional<std::pair<long, long>> OpenFiles() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
  DIR* folder = ::opendir("/proc/self/fd");
  if (!folder) return std::nullopt;
  long open = -1;  // the listing's own
  while (const dirent* entry = ::readdir(folder)) {
    if (entry->d_name[0] != '.') ++open;
  }
  ::closedir(folder);
  return std::pair{static_cast<long>(limit.rlim_cur), open};
}

std::string ClipWhat(int width, int height) {
  return "動画 " + std::to_string(width) + " × " + std::to_string(height) + " のフレームとテクスチャ";
}

}  // namespace

Expected<std::shared_ptr<ClipDecoder>> ClipCache::Open(const std::string& path,
                                                                       const ClipTiming& timing, double across,
                                                                       double down) {
  across = std::fabs(across);
  down = std::fabs(down);
  const std::optional<FileKey> file = FileKeyOf(path);
  std::optional<Key> key;
  if (file) key = Key{*file, timing.start, timing.clipstart, timing.clipspeed, timing.loop};
  if (key) {
    auto found = entries_.find(*key);
    if (found != entries_.end()) {
      if (std::shared_ptr<ClipDecoder> shared = found->second.decoder.lock()) {
        // Drawn larger than those before, it may need a larger texture.
        uint64_t& counted = *found->second.texture_bytes;
        const int width = shared->Width(), height = shared->Height();
        const uint64_t needed = ClipDecoder::TextureBytes(width, height, across, down);
        if (needed > counted) {
          if (!budget_->Take(needed - counted)) {
            return Error{budget_->Refusal(ClipWhat(width, height), needed - counted, path), true};
          }
          counted = needed;
        }
        return shared;
      }
    }
  }
  if (const auto files = OpenFiles(); files && files->first - files->second <= kSpareFiles) {
    return Error{"エラー : 開いているファイルが " + std::to_string(files->second) + " 個で、上限 " +
                              std::to_string(files->first) + " 個に近いため動画を開きません - " + path,
                          true};
  }
  std::string refusal;
  uint64_t frame_bytes = 0, texture_bytes = 0;
  auto opened = ClipDecoder::Open(path, [&](int width, int height, uint64_t frames) {
    const uint64_t texture = ClipDecoder::TextureBytes(width, height, across, down);
    if (!budget_->Take(frames + texture)) {
      refusal = budget_->Refusal(ClipWhat(width, height), frames + texture, path);
      return false;
    }
    frame_bytes = frames;
    texture_bytes = texture;
    return true;
  });
  if (!opened) {
    budget_->Give(frame_bytes + texture_bytes);
    if (!refusal.empty()) return Error{refusal, true};
    return Error{opened.error().what};
  }
  auto counted = std::make_shared<uint64_t>(texture_bytes);
  std::shared_ptr<ClipDecoder> decoder(opened->release(), [budget = budget_, counted, frame_bytes](ClipDecoder* gone) {
    delete gone;
    budget->Give(frame_bytes + *counted);
  });
  if (key) {
    std::erase_if(entries_, [](const auto& entry) { return entry.second.decoder.expired(); });
    entries_[*key] = Entry{decoder, counted};
  }
  return decoder;
}

}  // namespace talmora
