#pragma once

#include <string>

#include "script/attribute_map.h"

namespace talmora {

// One output file of the run: reads its settings and objects from the tags, then writes the file.
class Maker {
 public:
  virtual ~Maker() = default;
  virtual void ReadProperties(const TagList& tags) = 0;
  virtual void Make(const std::string& path) = 0;
};

}  // namespace talmora
