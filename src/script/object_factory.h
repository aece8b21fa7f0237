#pragma once

#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "script/attribute_map.h"
#include "script/object.h"
#include "script/script_context.h"

namespace talmora {

// One kind of object a script can hold: its tag and how an empty one is made.
struct ObjectKind {
  std::string_view tag;
  std::shared_ptr<Object> (*make)(ScriptContext& context);
};

template <typename T>
std::shared_ptr<Object> MakeObject(ScriptContext& context) {
  return std::make_shared<T>(context);
}

// Turns tags into objects of the kinds it is given. Both passes build and read every kind's
// tags, so the keeper records and messages are the same in each; a pass keeps only its own kind.
class ObjectFactory {
 public:
  ObjectFactory(ScriptContext& context, std::span<const ObjectKind> kinds) : context_(context), kinds_(kinds) {}

  // The object of the tag's kind, read from a private copy of its attributes (the tag list is
  // read again by the other pass); empty for a tag of no kind.
  std::shared_ptr<Object> Create(const ScriptTag& tag) const;
  // Builds and reads the tag's object as Create does, and keeps it only when it is a T.
  template <typename T>
  std::shared_ptr<T> Create(const ScriptTag& tag) const {
    return std::dynamic_pointer_cast<T>(Create(tag));
  }
  // The same, with a group's members standing in for the group.
  template <typename T>
  std::vector<std::shared_ptr<T>> CreateEach(const ScriptTag& tag) const {
    std::shared_ptr<Object> made = Create(tag);
    std::vector<std::shared_ptr<T>> each;
    if (auto* group = dynamic_cast<ObjectGroup*>(made.get())) {
      for (auto& member : group->members) {
        if (auto kept = std::dynamic_pointer_cast<T>(member)) each.push_back(std::move(kept));
      }
    } else if (auto kept = std::dynamic_pointer_cast<T>(made)) {
      each.push_back(std::move(kept));
    }
    return each;
  }
  // Where the makers note how their outputs went.
  RunOutcome& Outcome() const { return context_.outcome; }
  // Where they say it.
  Reporter& Reports() const { return context_.reporter; }

 private:
  ScriptContext& context_;
  std::span<const ObjectKind> kinds_;
};

}  // namespace talmora
