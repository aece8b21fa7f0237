#include "serve/studio.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "app/runtime.h"
#include "app/script_check.h"
#include "audio/sound_maker.h"
#include "platform/console/reporter.h"
#include "platform/movie/png_picture.h"
#include "platform/render/frame.h"
#include "script/conversions.h"
#include "script/number_text.h"
#include "script/xml_parser.h"
#include "serve/jpeg_picture.h"
#include "video/frame_picture.h"
#include "video/frame_timing.h"
#include "video/movie_maker.h"
#include "video/video_object.h"

namespace talmora {

// What a reading's objects point into: Runtime's parts but the device, which all readings share
// so that a picture still held by the last reading is not decoded again. Its caches know a file
// by its version: one rewritten on disk is read afresh.
struct Reading {
  Reading(Reporter& reporter, Device& device)
      : context{keeper, templates, global, reporter, device.Graphics(), device.Sounds()} {}

  GlobalProperty global;
  ScriptContext context;
  ObjectFactory factory{context, ObjectKinds()};
  PropertyKeeper keeper;
  TemplateManager templates;
};

// One reading of the script, with everything its objects point into.
struct Studio::Take {
  HeldReporter held;  // what reading said; the page has its own words for what matters
  std::unique_ptr<Reading> runtime;
  TagList tags;
  MovieOptions options;
  // The command line's scale, and half of it for play.
  std::unique_ptr<MovieMaker> makers[2];
  RenderState states[2];
  std::string timeline;  // the elements' part of the timeline JSON
};

namespace {

std::string Number(double value) { return std::isfinite(value) ? Shortest(value) : "null"; }

// What the loader printed, without its last line feed.
std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// `text` as a JSON string, quotes and all.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

// The check's lines as the page lists them: "PATH:LINE: <element>: message" without PATH.
struct CheckLine {
  int line = 0;
  std::string text;
};
std::vector<CheckLine> ParseCheckLines(const std::string& lines) {
  std::vector<CheckLine> problems;
  std::istringstream in(lines);
  std::string line;
  while (std::getline(in, line)) {
    // ":12: <image>: ...": the path is empty; the closing count line has no line number.
    if (line.size() < 3 || line[0] != ':') continue;
    const size_t colon = line.find(": ", 1);
    if (colon == std::string::npos) continue;
    const auto number = ParseInteger(line.substr(1, colon - 1));
    if (!number) continue;
    problems.push_back({*number, line.substr(colon + 2)});
  }
  return problems;
}

}  // namespace

Studio::Studio(std::string full_path, std::optional<double> scale)
    : full_path_(std::move(full_path)), scale_(scale), device_(std::make_unique<Device>(device_lines_)) {
  Reload();
  Check();
}

Studio::~Studio() = default;

void Studio::Reload() {
  auto take = std::make_shared<Take>();
  XMLParser parser(take->held);
  const bool loaded = parser.Load(full_path_);
  // The device is shared with the frames being drawn: the reading waits for them.
  std::lock_guard lock(mutex_);
  ++version_;
  if (!loaded) {
    error_ = Trimmed(take->held.Take());
    if (error_.empty()) error_ = "エラー : xmlファイルを読み込めませんでした";
    return;
  }
  take->runtime = std::make_unique<Reading>(take->held, *device_);
  Reading& runtime = *take->runtime;
  take->tags = parser.Tags();
  runtime.templates.AddTemplates(take->tags);
  const MovieMaker& view = MakerOf(*take, Size::kView);
  // The elements as the movie reads them, sounds too, in the order of the file.
  runtime.keeper.Clear();
  std::string elements;
  for (size_t i = 1; i < take->tags.size(); ++i) {
    const ScriptTag& tag = take->tags[i];
    const auto object = runtime.factory.Create(tag);
    if (!object) continue;
    const auto* video = dynamic_cast<const VideoObject*>(object.get());
    double end = object->end;
    if (video && video->EndsWithMovie()) end = std::max(end, view.length);
    std::string label;
    for (const char* name : {"src", "sentence", "name"}) {
      if (const auto found = tag.attributes.find(name); found != tag.attributes.end()) {
        label = found->second;
        break;
      }
    }
    elements += std::string(elements.empty() ? "" : ",") + "{\"tag\":" + JsonString(tag.name) +
                ",\"line\":" + std::to_string(tag.line) + ",\"start\":" + Number(object->start) +
                ",\"end\":" + Number(end) + ",\"depth\":" + (video ? Number(video->Depth()) : "null") +
                ",\"label\":" + JsonString(label) + "}";
  }
  take->timeline = std::move(elements);
  take->held.Take();
  // The last reading keeps its pictures until the new one has drawn a frame with them.
  if (!previous_) previous_ = std::move(take_);
  take_ = std::move(take);
  error_.clear();
}

void Studio::Check() {
  // A runtime of its own: the check opens every file, which takes longer than a frame, and the
  // frames are not held up for it.
  HeldReporter lines;
  int checked = 0;
  {
    Runtime runtime(lines, lines);
    lines.Take();
    checked = CheckScriptFile(runtime, full_path_, "");
  }
  std::string problems;
  for (const CheckLine& problem : ParseCheckLines(checked == 1 ? std::string() : lines.Take())) {
    problems += std::string(problems.empty() ? "" : ",") + "{\"line\":" + std::to_string(problem.line) +
                ",\"text\":" + JsonString(problem.text) + "}";
  }
  std::lock_guard lock(mutex_);
  problems_json_ = "[" + problems + "]";
}

MovieMaker& Studio::MakerOf(Take& take, Size size) {
  auto& maker = take.makers[static_cast<int>(size)];
  if (maker) return *maker;
  take.runtime->keeper.Clear();
  maker = std::make_unique<MovieMaker>(take.runtime->factory, device_->Graphics(), take.options);
  // Played frames are half the page's, so that drawing keeps up.
  const double scale = scale_.value_or(1.0);
  if (size == Size::kHalf || scale_) maker->part.scale = size == Size::kHalf ? scale / 2 : scale;
  maker->ReadProperties(take.tags);
  if (maker->part.scale) {
    for (const auto& object : maker->Drawn().Objects()) object->SetScale(*maker->part.scale);
  }
  take.held.Take();
  return *maker;
}

uint64_t Studio::Ticket(Size size) {
  const uint64_t ticket = ++tickets_;
  std::atomic<uint64_t>& newest = newest_[static_cast<int>(size)];
  uint64_t seen = newest.load();
  while (seen < ticket && !newest.compare_exchange_weak(seen, ticket)) {
  }
  return ticket;
}

Studio::Drawn Studio::Frame(uint64_t ticket, Size size, double time, Format format, std::string& bytes) {
  std::lock_guard lock(mutex_);
  if (ticket < newest_[static_cast<int>(size)].load()) return Drawn::kSuperseded;
  if (!take_) return Drawn::kNoScript;
  Take& take = *take_;
  MovieMaker& maker = MakerOf(take, size);
  MoviePart part;
  part.frame = time;
  part.scale = maker.part.scale;
  const auto frames = time >= 0.0 ? PartFrames(part, maker.fps, maker.FrameTotal()) : std::nullopt;
  if (!frames || frames->Count() != 1) return Drawn::kOutside;
  // The job --frame's maker makes for that part.
  MovieJob job{maker.width, maker.height, maker.fps, maker.length, ArgbColour(maker.a, maker.r, maker.g, maker.b),
               device_->Graphics(), &take.options};
  job.frames = frames;
  if (part.scale) ScaleFrameSize(part, take.options, job.width, job.height);
  if (!ScaledSizeRefusal(part, take.options, maker.width, maker.height).empty()) return Drawn::kFailed;
  const std::unique_ptr<talmora::Frame> frame = DrawPicture(job, maker.Drawn(), take.states[static_cast<int>(size)], take.held);
  take.held.Take();
  previous_.reset();
  std::string error;
  if (!frame) return Drawn::kFailed;
  const bool encoded = format == Format::kPng ? EncodePngPicture(*frame, bytes, error) : EncodeJpegPicture(*frame, bytes, error);
  return encoded ? Drawn::kDone : Drawn::kFailed;
}

Studio::Drawn Studio::Sound(double from, double to, std::string& bytes) {
  std::lock_guard lock(mutex_);
  if (!take_) return Drawn::kNoScript;
  Take& take = *take_;
  const double length = take.makers[0]->length;
  if (!(from >= 0.0 && from < length && to > from)) return Drawn::kOutside;
  // The mixer writes a file; this one lives in a folder of its own only while it is read.
  std::string folder = (std::getenv("TMPDIR") ? std::string(std::getenv("TMPDIR")) : "/tmp") + "/talmora-sound-XXXXXX";
  if (!::mkdtemp(folder.data())) return Drawn::kFailed;
  const std::string path = folder + "/window.wav";
  Reading& runtime = *take.runtime;
  runtime.keeper.Clear();
  {
    SoundMaker sound(runtime.factory, length);
    sound.from = from;
    sound.to = std::min(to, length);
    sound.ReadProperties(take.tags);
    sound.Make(path);
  }
  take.held.Take();
  std::ifstream in(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  ::unlink(path.c_str());
  ::rmdir(folder.c_str());
  return bytes.empty() ? Drawn::kFailed : Drawn::kDone;
}

std::string Studio::TimelineJson() {
  std::lock_guard lock(mutex_);
  std::string json = "{\"version\":" + std::to_string(version_.load()) + ",\"error\":" + JsonString(error_);
  if (take_) {
    const MovieMaker& view = *take_->makers[0];
    int32_t width = view.width, height = view.height;
    if (view.part.scale) ScaleFrameSize(view.part, take_->options, width, height);
    json += ",\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height) +
            ",\"fps\":" + std::to_string(view.fps) + ",\"length\":" + Number(view.length) +
            ",\"frames\":" + std::to_string(view.FrameTotal()) + ",\"elements\":[" + take_->timeline + "]";
  }
  return json + "}";
}

std::string Studio::ProblemsJson() {
  std::lock_guard lock(mutex_);
  return "{\"version\":" + std::to_string(version_.load()) + ",\"error\":" + JsonString(error_) +
         ",\"problems\":" + (problems_json_.empty() ? "[]" : problems_json_) + "}";
}

std::string Studio::Source() const {
  std::ifstream in(full_path_, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Studio::WatchedFiles() {
  std::lock_guard lock(mutex_);
  std::set<std::string> files = {full_path_};
  if (take_) {
    for (const ScriptTag& tag : take_->tags) {
      for (const auto& [name, value] : tag.attributes) {
        struct stat info {};
        if (!value.empty() && ::stat(value.c_str(), &info) == 0 && S_ISREG(info.st_mode)) files.insert(value);
      }
    }
  }
  return {files.begin(), files.end()};
}

}  // namespace talmora
