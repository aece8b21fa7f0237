#pragma once

namespace talmora {

// The default size of a drawn object; the movie's own size never reaches it.
class GlobalProperty {
 public:
  virtual ~GlobalProperty() = default;
  double width = 512.0;
  double height = 384.0;
};

}  // namespace talmora
