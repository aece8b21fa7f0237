// libFuzzer entry: a script as the two passes read it, up to the numbers the renderer and the
// mixer are given, without drawing or decoding anything.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/object_kinds.h"
#include "audio/sound_maker.h"
#include "script/conversions.h"
#include "script/global_property.h"
#include "script/number_text.h"
#include "script/object_factory.h"
#include "script/property_keeper.h"
#include "script/property_readers.h"
#include "script/script_context.h"
#include "script/template_manager.h"
#include "script/xml_parser.h"
#include "video/frame_timing.h"
#include "video/scene.h"
#include "video/video_object.h"

using namespace talmora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The program's messages would drown the fuzzer's own.
  const int null = ::open("/dev/null", O_WRONLY);
  if (null >= 0) ::dup2(null, STDOUT_FILENO);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  HeldReporter said;
  XMLParser parser(said);
  if (!parser.LoadText(text)) {
    (void)ParseNumber(text);
    return 0;
  }
  const TagList& tags = parser.Tags();
  (void)CountUnreadNames(tags);
  PropertyKeeper keeper;
  TemplateManager templates;
  templates.AddTemplates(tags);
  GlobalProperty global;
  ScriptContext context{keeper, templates, global, said};
  ObjectFactory factory(context, ObjectKinds());

  std::vector<std::shared_ptr<VideoObject>> pending;
  double length = 0;
  for (size_t i = 1; i < tags.size(); ++i) {
    for (auto& object : factory.CreateEach<VideoObject>(tags[i])) {
      length = std::max(length, object->end);
      pending.push_back(std::move(object));
    }
  }
  std::stable_sort(pending.begin(), pending.end(), [](const auto& p, const auto& q) { return ActivatesAfter(*p, *q); });
  const AttributeMap& settings = tags.front().attributes;
  int32_t width = 512, height = 384, fps = 30;
  double r = 0, g = 0, b = 0, a = 0;
  ReadPlainInteger(settings, "width", width, said);
  ReadPlainInteger(settings, "height", height, said);
  ReadPlainInteger(settings, "fps", fps, said);
  ReadPlainNumber(settings, "length", length, said);
  ReadPlainNumber(settings, "r", r, said);
  ReadPlainNumber(settings, "g", g, said);
  ReadPlainNumber(settings, "b", b, said);
  ReadPlainNumber(settings, "a", a, said);
  (void)ArgbColour(a, r, g, b);
  const int32_t count = fps > 0 ? FrameCount(fps, length) : 0;

  // A few frames of the loop, spread over the movie, and each object at its own ends.
  const Scene scene(pending);
  for (int32_t step = 0; fps > 0 && step < 4; ++step) {
    const auto frame = static_cast<int32_t>(static_cast<int64_t>(count) * step / 4);
    const double time = FrameTime(frame, fps);
    for (const VideoObject* object : scene.AtFrame(frame, fps)) {
      Rect rect;
      uint32_t argb = 0;
      object->Interpolate(time, rect, argb);
      object->Interpolate(object->start, rect, argb);
      object->Interpolate(object->end, rect, argb);
    }
  }

  keeper.Clear();
  SoundMaker sounds(factory, length);
  sounds.ReadProperties(tags);
  return 0;
}

#ifndef TALMORA_LIBFUZZER
// Without libFuzzer: replays the files named on the command line, so that the ordinary build
// keeps the target compiling and the tests run its seed scripts.
int main(int argc, char** argv) {
  LLVMFuzzerInitialize(&argc, &argv);
  for (int i = 1; i < argc; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }
  return 0;
}
#endif
