#include "export/export_outcome.h"

namespace epd::exporter {

std::string ExportOutcome::Reason() const {
  std::string reason = message;
  for (const std::string* part : {&file, &cause}) {
    if (part->empty() || reason.find(*part) != std::string::npos) continue;
    if (!reason.empty()) reason += ": ";
    reason += *part;
  }
  return reason;
}

}  // namespace epd::exporter
