#include "script/property_keeper.h"

#include "script/number_text.h"

namespace talmora {

const std::string& PropertyKeeper::Get(const std::string& name) const {
  static const std::string empty;
  const auto found = values_.find(name);
  return found == values_.end() ? empty : found->second;
}

void PropertyKeeper::StoreNumber(const std::string& name, double value) {
  Set(name, FormatNumber(value));
}

}  // namespace talmora
