#pragma once

#include <memory>

#include "app/object_kinds.h"
#include "script/global_property.h"
#include "script/object_factory.h"
#include "script/property_keeper.h"
#include "script/script_context.h"
#include "script/template_manager.h"
#include "script/xml_parser.h"
#include "platform/console/reporter.h"

namespace talmora::testing {

// The script model's instances without a device, as a pass sees them.
struct ScriptFixture {
  PropertyKeeper keeper;
  TemplateManager templates;
  GlobalProperty global;
  HeldReporter reporter;  // what the objects and makers said
  ScriptContext context{keeper, templates, global, reporter};
  ObjectFactory factory{context, ObjectKinds()};

  // Loads `body` inside a root element; the loader's own lines are not kept.
  TagList Load(const std::string& body, const std::string& root_attributes = "") {
    HeldReporter quiet;
    XMLParser parser(quiet);
    parser.LoadText("<talmora " + root_attributes + ">" + body + "</talmora>");
    templates.AddTemplates(parser.Tags());
    return parser.Tags();
  }
};

}  // namespace talmora::testing
