#pragma once

#include "app/device.h"
#include "app/object_kinds.h"
#include "script/global_property.h"
#include "script/object_factory.h"
#include "script/property_keeper.h"
#include "script/script_context.h"
#include "script/template_manager.h"

namespace talmora {

// The process-wide instances, made in this order at start-up and destroyed in reverse, so the
// device's lines come first and its release comes last. The run speaks to `reporter`, the
// device's start-up to `start_up`.
struct Runtime {
  Runtime(Reporter& reporter, Reporter& start_up) : device(start_up), context{keeper, templates, global, reporter, device.Graphics(), device.Sounds()} {}

  Device device;
  GlobalProperty global;
  ScriptContext context;
  ObjectFactory factory{context, ObjectKinds()};
  PropertyKeeper keeper;
  TemplateManager templates;
};

}  // namespace talmora
