#pragma once

#include <map>
#include <string>
#include <vector>

namespace talmora {

// Keys compare byte-wise as unsigned (std::char_traits<char>::lt); inserting a present key keeps
// the stored value, as std::map::emplace does.
using AttributeMap = std::map<std::string, std::string>;

struct ScriptTag {
  std::string name;
  AttributeMap attributes;
  int line = 0;  // in the script file; 0 when unknown
  std::vector<ScriptTag> children = {};  // a child of the root's own elements (its keys)
};

// Entry 0 is the root element, then the root's element children in document order.
using TagList = std::vector<ScriptTag>;

}  // namespace talmora
