#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/render/affine_draw.h"
#include "platform/render/draw_target.h"
#include "platform/render/frame.h"
#include "platform/render/sprite.h"

namespace talmora {

class Texture;

// What a drawn object draws on. Its state is a transform from the drawer's coordinates onto the
// frame, an opacity every colour is multiplied by and a clip rectangle on the frame; Save pushes
// a copy of it and Restore pops it. Draws land at once, in call order, on the frame or on the
// innermost open layer. A draw under an identity state takes the plain kernels: the state costs
// nothing until it is used.
class Canvas {
 public:
  explicit Canvas(Frame& frame);
  // A frame that is to be `background` (0xAARRGGBB) under the draws. Only what the frame does not
  // know to be that colour already is filled, each block just before it is drawn on; none of it
  // if the first draw replaces every pixel by itself, as an opaque picture over the whole frame does.
  Canvas(Frame& frame, uint32_t background);
  // Open layers are composited back, as Restore would; the background still owed is filled.
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  void Save();
  // Saves, then sends the draws to a transparent layer the size of the clip, which the matching
  // Restore composites back at `opacity` (0 to 255) times the opacity saved. False when no
  // memory could be had for it: the draws then land directly, at that opacity each.
  bool SaveLayer(uint32_t opacity);
  // Nothing happens beyond the first state.
  void Restore();
  int SaveCount() const { return static_cast<int>(states_.size()); }

  // Each goes before the current transform: Translate then Rotate turns about the new origin.
  void Concat(const Affine& first);
  void Translate(double dx, double dy) { Concat(Affine{1, 0, dx, 0, 1, dy}); }
  void Scale(double sx, double sy) { Concat(Affine{sx, 0, 0, 0, sy, 0}); }
  // Clockwise on screen (y points down), about the origin; right angles exactly.
  void Rotate(double degrees);
  // `opacity` is 0 to 255.
  void MultiplyOpacity(uint32_t opacity);
  // Narrows the clip to the pixels whose centres lie inside the rectangle as the transform places
  // it; a turned rectangle clips to its bounding box.
  void ClipRect(double left, double top, double right, double bottom);

  const Affine& Transform() const { return states_.back().transform; }
  uint32_t Opacity() const { return states_.back().opacity; }
  const Rect& Clip() const { return states_.back().clip; }

  // For what paints pixels itself (text): where it draws, clipped, and how.
  DrawTarget Target();

  // Texel (u, v) lands on (u * sx + tx, v * sy + ty), multiplied by `argb` and blended over.
  void DrawTexture(const Texture& texture, float sx, float sy, float tx, float ty, uint32_t argb);
  // The texture stretched onto `rect`, turned clockwise by `degrees` about its centre.
  void DrawTurnedTexture(const Texture& texture, const Rect& rect, double degrees, uint32_t argb);
  // The rectangle in one colour: the pixels whose centres lie inside it, or with smooth edges
  // where the transform turns it.
  void FillRect(double left, double top, double right, double bottom, uint32_t argb);

 private:
  struct State {
    Affine transform;
    uint32_t opacity = 255;
    Rect clip;
    bool opens_layer = false;
  };
  struct Layer {
    std::unique_ptr<Frame> pixels;  // empty: the draws land on the surface below
    Rect bounds;                    // on the movie's frame
    uint32_t opacity = 255;
  };

  // The innermost layer's pixels, or the frame's, with the clip in their coordinates.
  Surface CurrentSurface() const;
  // Where the drawer's coordinates land on that surface.
  Affine ToSurface() const;
  // Null when no memory could be had for it.
  const Texture* White();

  Frame& frame_;
  uint32_t background_ = 0;
  bool owes_background_ = false;
  bool untouched_ = false;  // a frame with a background that nothing has been drawn on yet
  Sprite sprite_;
  std::vector<State> states_;
  std::vector<Layer> layers_;
  std::unique_ptr<Texture> white_;
};

}  // namespace talmora
