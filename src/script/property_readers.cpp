#include "script/property_readers.h"

#include "script/number_text.h"

namespace talmora {
namespace {

template <typename T, typename Parse>
bool Convert(const std::string& name, const std::string& text, T& value, Parse parse,
             Expectation expected, Reporter& reporter, RunOutcome* outcome) {
  size_t end = 0;
  const auto parsed = parse(text, &end);
  if (!parsed) {
    RefuseValue(reporter, name, text, expected, outcome);
    return false;
  }
  value = *parsed;
  // "1O0" reads as 1 and "1,5" as 1, as they always have; only a collecting reporter hears of
  // the rest. Trailing white space is no slip.
  if (text.find_first_not_of(" \t\n\r", end) != std::string::npos) {
    reporter.Refused({name, text, expected, static_cast<double>(*parsed), text.substr(end)});
  }
  return true;
}

// "now+0.5", "now-1": the latest end moved by so many seconds, recorded as a number. A start
// before 0 is 0.
bool ReadMovedNow(PropertyKeeper& keeper, const std::string& text, double& value, Reporter& reporter,
                  RunOutcome* outcome) {
  size_t read = 0;
  const auto offset = ParseNumber(std::string_view(text).substr(3), &read);
  const auto from = ParseNumber(keeper.Get("timeend"));
  if (!offset || !from || text.find_first_not_of(" \t\n\r", 3 + read) != std::string::npos) {
    keeper.Set("time", text);
    RefuseValue(reporter, "time", text, Expectation::kNumber, outcome);
    return false;
  }
  value = *from + *offset;
  if (value < 0.0) {
    const std::string words = "time の値 [" + text + "] は " + Shortest(value) + " 秒になるため 0 秒とします";
    if (reporter.Refused({"time", text, Expectation::kNotNegative, std::nullopt, {}, words}) && outcome) {
      outcome->NoteFailed();
    }
    value = 0.0;
  }
  keeper.StoreNumber("time", value);
  return true;
}

}  // namespace

void RefuseValue(Reporter& reporter, const std::string& name, const std::string& text,
                 Expectation expected, RunOutcome* outcome) {
  if (reporter.Refused({name, text, expected}) && outcome) outcome->NoteFailed();
}

void PrintInvalidValue(Reporter& reporter, const std::string& name, const std::string& text,
                       RunOutcome* outcome) {
  reporter.Line(InvalidValueLine(name, text));
  if (outcome) outcome->NoteFailed();
}

bool FindAttribute(const AttributeMap& attributes, const std::string& name, std::string& value) {
  const auto found = attributes.find(name);
  if (found == attributes.end()) return false;
  value = found->second;
  return true;
}

bool ReadPlainNumber(const AttributeMap& attributes, const std::string& name, double& value,
                     Reporter& reporter, RunOutcome* outcome) {
  std::string text;
  return FindAttribute(attributes, name, text) &&
         Convert(name, text, value, ParseNumber, Expectation::kNumber, reporter, outcome);
}

bool ReadPlainInteger(const AttributeMap& attributes, const std::string& name, int32_t& value,
                      Reporter& reporter, RunOutcome* outcome) {
  std::string text;
  return FindAttribute(attributes, name, text) &&
         Convert(name, text, value, ParseInteger, Expectation::kInteger, reporter, outcome);
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
                        const std::string& name, double& value, Reporter& reporter,
                        RunOutcome* outcome) {
  std::string text;
  if (name == "time" && FindAttribute(attributes, name, text) && text.size() > 3 && text.starts_with("now") &&
      (text[3] == '+' || text[3] == '-')) {
    return ReadMovedNow(keeper, text, value, reporter, outcome);
  }
  return ReadPropertyText(keeper, attributes, name, text) &&
         Convert(name, text, value, ParseNumber, Expectation::kNumber, reporter, outcome);
}

bool ReadPropertyInteger(PropertyKeeper& keeper, const AttributeMap& attributes,
                         const std::string& name, int32_t& value, Reporter& reporter,
                         RunOutcome* outcome) {
  std::string text;
  return ReadPropertyText(keeper, attributes, name, text) &&
         Convert(name, text, value, ParseInteger, Expectation::kInteger, reporter, outcome);
}

bool ReadPropertyColour(PropertyKeeper& keeper, const AttributeMap& attributes,
                        const std::string& name, uint32_t& value, Reporter& reporter,
                        RunOutcome* outcome) {
  std::string text;
  if (!ReadPropertyText(keeper, attributes, name, text)) return false;
  const auto colour = ParseColour(text);
  if (!colour) {
    RefuseValue(reporter, name, text, Expectation::kColour, outcome);
    return false;
  }
  value = *colour;
  return true;
}

bool ReadPropertyFlag(PropertyKeeper& keeper, const AttributeMap& attributes,
                      const std::string& name, bool& value, Reporter& reporter) {
  std::string text;
  if (!ReadPropertyText(keeper, attributes, name, text)) return false;
  const auto flag = ParseFlag(text);
  if (!flag) {
    reporter.Refused({name, text, Expectation::kFlag});
    return false;
  }
  value = *flag;
  return true;
}

}  // namespace talmora
