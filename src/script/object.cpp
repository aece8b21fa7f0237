#include "script/object.h"

#include <cmath>

#include "script/property_keeper.h"
#include "script/property_readers.h"
#include "script/template_manager.h"

namespace talmora {

void Object::ReadProperties(AttributeMap& attributes) {
  ApplyTemplate(attributes);
  ReadTimeWindow(attributes);
}

void Object::ApplyTemplate(AttributeMap& attributes) {
  std::string name;
  if (!ReadText(attributes, "template", name)) return;
  // Own attributes win: insert keeps what is there.
  for (const auto& entry : context_.templates.GetTemplate(name)) attributes.insert(entry);
  template_children_ = context_.templates.GetTemplateChildren(name);
}

std::vector<std::pair<const ScriptTag*, bool>> Object::KeyTags(std::span<const ScriptTag> own) const {
  std::vector<std::pair<const ScriptTag*, bool>> keys;
  for (const bool mine : {false, true}) {
    for (const ScriptTag& child : mine ? own : template_children_) {
      if (child.name == "key") keys.emplace_back(&child, mine);
    }
  }
  return keys;
}

void Object::ReadTimeWindow(const AttributeMap& attributes) {
  double time = 0.0;
  if (!ReadNumber(attributes, "time", time)) return;
  start = end = time;
  double duration = 0.0;
  double time_end = 0.0;
  if (ReadNumber(attributes, "duration", duration)) {
    end = duration + start;
    StoreNumber("timeend", end);
  } else if (ReadNumber(attributes, "timeend", time_end)) {
    end = time_end;
    StoreNumber("duration", end - start);
  }
}

bool Object::ReadText(const AttributeMap& attributes, const std::string& name, std::string& value) {
  return ReadPropertyText(context_.keeper, attributes, name, value);
}

bool Object::ReadNumber(const AttributeMap& attributes, const std::string& name, double& value) {
  return ReadPropertyNumber(context_.keeper, attributes, name, value, context_.reporter, &context_.outcome);
}

bool Object::ReadInteger(const AttributeMap& attributes, const std::string& name, int32_t& value) {
  return ReadPropertyInteger(context_.keeper, attributes, name, value, context_.reporter, &context_.outcome);
}

bool Object::ReadFlag(const AttributeMap& attributes, const std::string& name, bool& value) {
  return ReadPropertyFlag(context_.keeper, attributes, name, value, context_.reporter);
}

bool Object::ReadColour(const AttributeMap& attributes, const std::string& name, uint32_t& value) {
  return ReadPropertyColour(context_.keeper, attributes, name, value, context_.reporter, &context_.outcome);
}

void Object::ReadSeconds(const AttributeMap& attributes, const std::string& name, double& value) {
  double read = 0.0;
  if (!ReadNumber(attributes, name, read)) return;
  if (read >= 0.0 && std::isfinite(read)) {
    value = read;
  } else if (std::string text; FindAttribute(attributes, name, text)) {
    RefuseValue(context_.reporter, name, text, Expectation::kNotNegative, &context_.outcome);
  }
}

void Object::StoreNumber(const std::string& name, double value) {
  context_.keeper.StoreNumber(name, value);
}

bool ActivatesAfter(const Object& p, const Object& q) {
  if (std::fabs(p.start - q.start) < 1e-9) return p.end > q.end;
  return p.start > q.start;
}

}  // namespace talmora
