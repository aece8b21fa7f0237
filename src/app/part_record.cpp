#include "app/part_record.h"

#include <charconv>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "platform/movie/compressor_catalog.h"
#include "platform/movie/fourcc.h"
#include "script/number_text.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

namespace talmora {
namespace {

constexpr char kFormat[] = "talmora-part=1";

std::string Hex(const uint8_t* bytes, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

std::optional<std::string> FromHex(const std::string& text) {
  if (text.size() % 2) return std::nullopt;
  std::string bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
    if (error != std::errc() || end != text.data() + i + 2) return std::nullopt;
    bytes += static_cast<char>(value);
  }
  return bytes;
}

template <typename Number>
bool ReadNumber(const std::string& text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// "A-B" and "A/B", "AxB".
template <typename Number>
bool ReadPair(const std::string& text, char between, Number& a, Number& b) {
  const size_t at = text.find(between);
  return at != std::string::npos && ReadNumber(text.substr(0, at), a) && ReadNumber(text.substr(at + 1), b);
}

std::string Trimmed(std::string code) {
  while (!code.empty() && code.back() == ' ') code.pop_back();
  return code;
}

}  // namespace

std::string RecordText(const PartRecord& r) {
  std::ostringstream text;
  text << kFormat << "\n"
       << "made_by=" << r.made_by << "\n"
       << "script=" << r.script << "\n"
       << "options=" << r.options << "\n"
       << "part=" << r.part.index << "/" << r.part.count << "\n"
       << "frames=" << r.first << "-" << r.end << "\n"
       << "total_frames=" << r.total << "\n"
       << "fps=" << r.fps << "\n"
       << "size=" << r.width << "x" << r.height << "\n"
       << "fourcc=" << Trimmed(FourccText(r.fourcc)) << "\n"
       << "stream_header=" << Hex(reinterpret_cast<const uint8_t*>(r.stream_header.data()), r.stream_header.size())
       << "\n"
       << "movie_bytes=" << r.movie_bytes << "\n"
       << "track_bytes=" << (r.track_bytes < 0 ? "none" : std::to_string(r.track_bytes)) << "\n"
       << "failed=" << (r.failed ? "yes" : "no") << "\n";
  return text.str();
}

std::optional<PartRecord> ReadRecord(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  if (!std::getline(lines, line) || line != kFormat) return std::nullopt;
  std::map<std::string, std::string> values;
  while (std::getline(lines, line)) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return std::nullopt;
    values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  PartRecord r;
  std::optional<std::string> header;
  const auto has = [&](const char* key) { return values.count(key) != 0; };
  for (const char* key : {"made_by", "script", "options", "part", "frames", "total_frames", "fps", "size", "fourcc",
                          "stream_header", "movie_bytes", "track_bytes", "failed"}) {
    if (!has(key)) return std::nullopt;
  }
  r.made_by = values["made_by"];
  r.script = values["script"];
  r.options = values["options"];
  const std::string& track = values["track_bytes"];
  const std::string& failed = values["failed"];
  if (!ReadPair(values["part"], '/', r.part.index, r.part.count) || !ReadPair(values["frames"], '-', r.first, r.end) ||
      !ReadNumber(values["total_frames"], r.total) || !ReadNumber(values["fps"], r.fps) ||
      !ReadPair(values["size"], 'x', r.width, r.height) || !ReadNumber(values["movie_bytes"], r.movie_bytes) ||
      values["fourcc"].empty() || values["fourcc"].size() > 4 || !(header = FromHex(values["stream_header"])) ||
      (track != "none" && !ReadNumber(track, r.track_bytes)) || (failed != "yes" && failed != "no")) {
    return std::nullopt;
  }
  r.fourcc = MakeFourcc(values["fourcc"]);
  r.stream_header = std::move(*header);
  r.failed = failed == "yes";
  return r;
}

std::string FileDigest(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::unique_ptr<AVSHA, decltype(&av_free)> sha(av_sha_alloc(), &av_free);
  if (!file || !sha || av_sha_init(sha.get(), 256) < 0) return {};
  char block[65536];
  while (file.read(block, sizeof block) || file.gcount() > 0) {
    av_sha_update(sha.get(), reinterpret_cast<const uint8_t*>(block), static_cast<size_t>(file.gcount()));
    if (!file) break;
  }
  if (file.bad()) return {};
  uint8_t digest[32];
  av_sha_final(sha.get(), digest);
  return Hex(digest, sizeof digest);
}

std::string MadeBy() {
  const unsigned version = avcodec_version();
  return "talmora " TALMORA_VERSION ", libavcodec " + std::to_string(version >> 16) + "." +
         std::to_string((version >> 8) & 0xff) + "." + std::to_string(version & 0xff);
}

std::string PixelOptions(const CommandLine& line) {
  std::string text;
  const auto add = [&text](const char* name, const std::string& value) {
    text += std::string(text.empty() ? "" : " ") + name + " " + value;
  };
  if (line.movie.codec) {
    const CompressorInfo* info = LookUpCompressor(*line.movie.codec);
    add("--codec", Trimmed(info ? FourccText(info->fourcc) : *line.movie.codec));
  }
  if (line.movie.quality) add("--quality", std::to_string(*line.movie.quality));
  if (line.movie.keyframe) add("--keyframe", std::to_string(*line.movie.keyframe));
  if (line.movie.datarate) add("--datarate", std::to_string(*line.movie.datarate));
  if (line.scale) add("--scale", Shortest(*line.scale));
  return text;
}

}  // namespace talmora
