#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "script/attribute_map.h"
#include "script/script_context.h"

namespace talmora {

// A timed element of the script: a time window in seconds, read from its tag. What it does with
// the window is its kind's business.
class Object {
 public:
  explicit Object(ScriptContext& context) : context_(context) {}
  virtual ~Object() = default;
  Object& operator=(const Object&) = delete;

  // Applies the template, then reads "time", "duration" and "timeend".
  virtual void ReadProperties(AttributeMap& attributes);
  // Then its elements (keys), once the window is known: `own` and its template's, with the
  // attributes as ReadProperties left them.
  virtual void ReadChildren(const AttributeMap& /*attributes*/, std::span<const ScriptTag> /*own*/) {}

  double start = 0.0;
  double end = 0.0;

 protected:
  // The property readers, bound to this run's keeper.
  bool ReadText(const AttributeMap& attributes, const std::string& name, std::string& value);
  bool ReadNumber(const AttributeMap& attributes, const std::string& name, double& value);
  bool ReadInteger(const AttributeMap& attributes, const std::string& name, int32_t& value);
  bool ReadFlag(const AttributeMap& attributes, const std::string& name, bool& value);
  bool ReadColour(const AttributeMap& attributes, const std::string& name, uint32_t& value);
  // A length in seconds that may not be negative: anything else is refused and `value` kept.
  void ReadSeconds(const AttributeMap& attributes, const std::string& name, double& value);
  void StoreNumber(const std::string& name, double value);
  // The "key" elements among its template's children, then among `own`; true for its own.
  std::vector<std::pair<const ScriptTag*, bool>> KeyTags(std::span<const ScriptTag> own) const;

  // For an element read once into several objects alike.
  Object(const Object&) = default;

  ScriptContext& context_;

 private:
  void ApplyTemplate(AttributeMap& attributes);
  void ReadTimeWindow(const AttributeMap& attributes);

  std::span<const ScriptTag> template_children_;
};

// An element that stands on the timeline as several objects it made, as captions stand as a text
// for each cue.
class ObjectGroup : public Object {
 public:
  using Object::Object;

  std::vector<std::shared_ptr<Object>> members;
};

// Activation order, latest first: p goes before q when it starts later, or when the starts lie
// within 1e-9 of each other and p ends later. Used with a stable sort, so ties keep script order.
bool ActivatesAfter(const Object& p, const Object& q);

}  // namespace talmora
