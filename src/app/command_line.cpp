#include "app/command_line.h"

#include <string_view>

#include "script/number_text.h"

namespace talmora {
namespace {

bool ReadOptionValue(std::string_view option, const char* value, std::optional<int32_t>& target,
                     std::string& error) {
  const auto parsed = value ? ParseInteger(value) : std::nullopt;
  if (!parsed) {
    error = "エラー : オプションの値が不正です - " + std::string(option);
    return false;
  }
  target = *parsed;
  return true;
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  for (int i = 1; i < argc && line.error.empty(); ++i) {
    const std::string_view arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--list-codecs") {
      line.list_codecs = true;
    } else if (arg == "--codec") {
      if (!value) {
        line.error = "エラー : オプションの値が不正です - --codec";
      } else {
        line.movie.codec = value;
        ++i;
      }
    } else if (arg == "--quality") {
      if (ReadOptionValue(arg, value, line.movie.quality, line.error)) ++i;
    } else if (arg == "--keyframe") {
      if (ReadOptionValue(arg, value, line.movie.keyframe, line.error)) ++i;
    } else if (arg == "--datarate") {
      if (ReadOptionValue(arg, value, line.movie.datarate, line.error)) ++i;
    } else if (arg.size() > 2 && arg.starts_with("--")) {
      line.error = "エラー : 不明なオプションです - " + std::string(arg);
    } else {
      line.scripts.emplace_back(arg);
    }
  }
  return line;
}

}  // namespace talmora
