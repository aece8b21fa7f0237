#include "app/version.h"

#include <cairo.h>
#include <libxml/parser.h>
#include <pango/pango.h>

#include <cstdlib>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace talmora {
namespace {

std::string Dotted(unsigned version) {
  return std::to_string(version >> 16) + "." + std::to_string((version >> 8) & 0xff) + "." +
         std::to_string(version & 0xff);
}

}  // namespace

std::string VersionText() {
  // The versions loaded at run time, not the headers': a distribution update changes them.
  std::string text = "talmora " TALMORA_VERSION "\n";
  const int xml = std::atoi(xmlParserVersion);  // "20914" is 2.9.14
  text += "libxml2 " + std::to_string(xml / 10000) + "." + std::to_string(xml / 100 % 100) + "." +
          std::to_string(xml % 100) + "\n";
  text += "libavformat " + Dotted(avformat_version()) + ", libavcodec " + Dotted(avcodec_version()) +
          ", libavutil " + Dotted(avutil_version()) + ", libswscale " + Dotted(swscale_version()) +
          ", libswresample " + Dotted(swresample_version()) + "\n";
  text += "Pango " + std::string(pango_version_string()) + "\n";
  text += "Cairo " + std::string(cairo_version_string()) + "\n";
  return text;
}

}  // namespace talmora
