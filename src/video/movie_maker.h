#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "script/maker.h"
#include "video/movie_options.h"
#include "video/movie_part.h"
#include "video/movie_render.h"
#include "video/scene.h"

namespace talmora {

class ObjectFactory;
class VideoObject;
class GraphicsDevice;

// Renders the drawn objects frame by frame into the movie file.
class MovieMaker : public Maker {
 public:
  MovieMaker(const ObjectFactory& factory, GraphicsDevice* graphics, MovieOptions options);
  ~MovieMaker() override;

  void ReadProperties(const TagList& tags) override;
  void Make(const std::string& path) override;

  int32_t width = 512;
  int32_t height = 384;
  int32_t fps = 30;
  double length = 0.0;
  bool made = false;  // the whole movie was written
  double r = 0.0, g = 0.0, b = 0.0, a = 0.0;

  // Set before Make: only this part of the movie, or at another size.
  MoviePart part;
  // After ReadProperties: false after printing that the part holds no frame of the movie, or
  // that the scale takes the frame size out of range.
  bool PartFits() const;
  // The part's one frame as a PNG picture at `path`; false after printing why not.
  bool MakePicture(const std::string& path);
  // After ReadProperties: the frames of the part, all of them for the whole movie; settled at
  // the first call, before the objects are scaled. A piece's cut follows the compressor on the
  // command line.
  FrameRange Frames();
  int32_t FrameTotal() const;  // of the whole movie

  // After Make: the stream written, once its file was opened.
  MadeStream stream;

  // After ReadProperties: the drawn objects.
  const Scene& Drawn() const { return scene_; }

 private:
  // The settings as the part has them, the objects scaled alike.
  MovieJob PartJob();

  const ObjectFactory& factory_;
  GraphicsDevice* graphics_;
  MovieOptions options_;
  Scene scene_;
  std::optional<FrameRange> frames_;
};

}  // namespace talmora
