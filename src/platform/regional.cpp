#include "platform/regional.h"

namespace epd::platform {
namespace {

std::optional<RegionalFormat>& Override() {
  static std::optional<RegionalFormat> format;
  return format;
}

}  // namespace

RegionalFormat CurrentRegionalFormat() {
  if (Override()) return *Override();
  return detail::SystemRegionalFormat();
}

void SetRegionalFormatOverride(std::optional<RegionalFormat> format) { Override() = std::move(format); }

}  // namespace epd::platform
