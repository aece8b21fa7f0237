#include "script/property_readers.h"

#include "platform/console/print_line.h"
#include "script/number_text.h"

namespace talmora {
namespace {

RefusalLog* active_log = nullptr;

template <typename T, typename Parse>
bool Convert(const std::string& name, const std::string& text, T& value, Parse parse,
             Expectation expected, RunOutcome* outcome) {
  size_t end = 0;
  const auto parsed = parse(text, &end);
  if (!parsed) {
    RefuseValue(name, text, expected, outcome);
    return false;
  }
  value = *parsed;
  // "1O0" reads as 1 and "1,5" as 1, as they always have; only a log hears of the rest. Trailing
  // white space is no slip.
  if (active_log && text.find_first_not_of(" \t\n\r", end) != std::string::npos) {
    active_log->Note({name, text, expected, static_cast<double>(*parsed), text.substr(end)});
  }
  return true;
}

}  // namespace

RefusalLog::RefusalLog() : outer_(active_log) { active_log = this; }

RefusalLog::~RefusalLog() { active_log = outer_; }

void RefuseValue(const std::string& name, const std::string& text, Expectation expected, RunOutcome* outcome) {
  if (active_log) active_log->Note({name, text, expected});
  else PrintInvalidValue(name, text, outcome);
}

void PrintInvalidValue(const std::string& name, const std::string& text, RunOutcome* outcome) {
  PrintLine(name + "エラー : プロパティの値が不正です - [" + text + "]");
  if (outcome) outcome->NoteFailed();
}

bool FindAttribute(const AttributeMap& attributes, const std::string& name, std::string& value) {
  const auto found = attributes.find(name);
  if (found == attributes.end()) return false;
  value = found->second;
  return true;
}

bool ReadPlainNumber(const AttributeMap& attributes, const std::string& name, double& value,
                     RunOutcome* outcome) {
  std::string text;
  return FindAttribute(attributes, name, text) &&
         Convert(name, text, value, ParseNumber, Expectation::kNumber, outcome);
}

bool ReadPlainInteger(const AttributeMap& attributes, const std::string& name, int32_t& value,
                      RunOutcome* outcome) {
  std::string text;
  return FindAttribute(attributes, name, text) &&
         Convert(name, text, value, ParseInteger, Expectation::kInteger, outcome);
}

bool ReadPropertyText(PropertyKeeper& keeper, const AttributeMap& attributes,
                      const std::string& name, std::string& value) {
  std::string text;
  if (!FindAttribute(attributes, name, text)) return false;
  // One replacement only: a text fetched from the keeper is not looked at again.
  if (text == "now" && name == "time") {
    text = keeper.Get("timeend");
  } else if (text == "last") {
    text = keeper.Get(name);
  }
  keeper.Set(name, text);
  value = std::move(text);
  return true;
}

bool ReadPropertyNumber(PropertyKeeper& keeper, const AttributeMap& attributes,
                        const std::string& name, double& value, RunOutcome* outcome) {
  std::string text;
  return ReadPropertyText(keeper, attributes, name, text) &&
         Convert(name, text, value, ParseNumber, Expectation::kNumber, outcome);
}

bool ReadPropertyInteger(PropertyKeeper& keeper, const AttributeMap& attributes,
                         const std::string& name, int32_t& value, RunOutcome* outcome) {
  std::string text;
  return ReadPropertyText(keeper, attributes, name, text) &&
         Convert(name, text, value, ParseInteger, Expectation::kInteger, outcome);
}

bool ReadPropertyFlag(PropertyKeeper& keeper, const AttributeMap& attributes,
                      const std::string& name, bool& value) {
  std::string text;
  if (!ReadPropertyText(keeper, attributes, name, text)) return false;
  const auto flag = ParseFlag(text);
  if (!flag) {
    if (active_log) active_log->Note({name, text, Expectation::kFlag});
    return false;
  }
  value = *flag;
  return true;
}

}  // namespace talmora
