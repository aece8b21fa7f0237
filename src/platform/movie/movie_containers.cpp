#include "platform/movie/avi_writer.h"
#include "platform/movie/movie_file.h"

namespace talmora {

std::span<const MovieContainer> MovieContainers() {
  static constexpr MovieContainer kContainers[] = {
      {".avi", AviWriter::Create},
  };
  return kContainers;
}

}  // namespace talmora
