#pragma once

#include <map>
#include <string>

namespace talmora {

// The most recent text of every attribute name read in the current pass, plus derived values.
class PropertyKeeper {
 public:
  virtual ~PropertyKeeper() = default;

  const std::string& Get(const std::string& name) const;
  void Set(const std::string& name, const std::string& text) { values_[name] = text; }
  void Clear() { values_.clear(); }
  void StoreNumber(const std::string& name, double value);

 private:
  std::map<std::string, std::string> values_;
};

}  // namespace talmora
