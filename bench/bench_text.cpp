// Times text drawing on a 1280 × 720 frame with the reference scene's captions (48 px):
// making the font, the first draw (layout and rasterising), a text that only moves (its mask
// reused), and a text whose rectangle grows every frame (laid out again only when it breaks
// lines at the rectangle's width). The layout counts show how often each was laid out.
// Prints microseconds per operation. Usage: bench_text [iterations]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/render/canvas.h"
#include "platform/render/frame.h"
#include "platform/text/font.h"
#include "platform/text/text_format.h"

namespace talmora {
namespace {

using Clock = std::chrono::steady_clock;

double MicrosecondsSince(Clock::time_point start, int count) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / count;
}

struct Caption {
  const char* name;
  const char* sentence;
  Rect rect;
  uint32_t format;
  uint32_t argb;
};

void Run(const Caption& c, Frame& frame, int iterations) {
  const auto made = Clock::now();
  auto created = Font::Create(FontRequest{48, 0, false, "ＭＳ ゴシック"});
  const double create_us = MicrosecondsSince(made, 1);
  Font* font = created ? created->get() : nullptr;
  if (!font) {
    std::printf("%s: no font\n", c.name);
    return;
  }
  Canvas canvas(frame);
  const auto first = Clock::now();
  font->DrawText(canvas.Target(), c.sentence, c.rect, c.format, c.argb);
  const double first_us = MicrosecondsSince(first, 1);

  const auto moving = Clock::now();
  for (int i = 0; i < iterations; ++i) {
    const Rect r{c.rect.left + i % 7, c.rect.top - i % 5, c.rect.right + i % 7, c.rect.bottom - i % 5};
    font->DrawText(canvas.Target(), c.sentence, r, c.format, c.argb);
  }
  const double moving_us = MicrosecondsSince(moving, iterations);
  const int layouts_moving = font->LayoutCount();

  const auto growing = Clock::now();
  for (int i = 0; i < iterations; ++i) {
    const Rect r{c.rect.left, c.rect.top, c.rect.right + 1 + i % 50, c.rect.bottom};
    font->DrawText(canvas.Target(), c.sentence, r, c.format, c.argb);
  }
  const double growing_us = MicrosecondsSince(growing, iterations);
  const int layouts_growing = font->LayoutCount() - layouts_moving;

  std::printf("%-18s font %6.0f us  first draw %6.0f us  moving %6.1f us/frame (%d layout in %d)  "
              "resized %6.1f us/frame (%d layouts in %d)\n",
              c.name, create_us, first_us, moving_us, layouts_moving, iterations + 1, growing_us, layouts_growing,
              iterations);
}

}  // namespace
}  // namespace talmora

int main(int argc, char** argv) {
  using namespace talmora;
  const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
  auto frame = Frame::Create(1280, 720);
  frame->Clear(0xff101820);
  const Caption captions[] = {
      {"japanese centred", "こんにちは世界", {0, 0, 1280, 720}, DT_CENTER | DT_VCENTER | DT_SINGLELINE, 0xffffffff},
      {"latin half alpha", "Hello, World! 0123456789", {40, 620, 1280, 720}, DT_SINGLELINE, 0x80ffd700},
      {"wrapped paragraph",
       "吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじめじめした所で"
       "ニャーニャー泣いていた事だけは記憶している。",
       {100, 100, 700, 600}, DT_WORDBREAK, 0xffffffff},
  };
  for (const Caption& c : captions) Run(c, *frame, iterations);
  return 0;
}
