#include "platform/regional.h"

namespace epd::platform::detail {

RegionalFormat SystemRegionalFormat() { return RegionalFormat{}; }

}  // namespace epd::platform::detail
