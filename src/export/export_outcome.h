#pragma once

#include <string>

// What one invoice export came to. The exported ExportEPD answers only true or false; inside,
// and for the epd tool, the export says what happened, and a failure keeps its reason: the text
// the user was shown, the file involved and what the system or the engine said.
namespace epd::exporter {

enum class Outcome {
  kExported,         // appended and marked delivered
  kSwitchedOff,      // EPD/bExportEPD is off: nothing read or written
  kDeliveryTypeDR,   // the invoice's CatTyp is "DR": never exported, nothing written
  kKeptEarlierCopy,  // found in the output and the user kept it: nothing appended, marked delivered
  kFailed,           // not exported, not marked; the outputs as they were
};

struct ExportOutcome {
  Outcome what = Outcome::kFailed;
  // kFailed only (code page 1251):
  std::string message;  // the text of the message box the user was shown
  std::string file;     // the file involved, when there is one
  std::string cause;    // what the system or the engine said, or the rule the settings broke

  // ExportEPD's answer: true for exported, switched off and kept; false for "DR" and failures.
  bool Succeeded() const {
    return what == Outcome::kExported || what == Outcome::kSwitchedOff || what == Outcome::kKeptEarlierCopy;
  }
  // The whole reason of a failure in one text: the message, and the file and the cause where
  // the message does not already name them.
  std::string Reason() const;

  static ExportOutcome Of(Outcome what) {
    ExportOutcome outcome;
    outcome.what = what;
    return outcome;
  }
  static ExportOutcome Failed(std::string message, std::string file = {}, std::string cause = {}) {
    return {Outcome::kFailed, std::move(message), std::move(file), std::move(cause)};
  }
};

}  // namespace epd::exporter
