#pragma once

#include <string_view>

// Replacing a whole file: every table this program creates and the settings file are written so.
//
// The order of writes, which is what the callers rely on: the complete new content goes into a
// scratch file beside the target (path + suffix, on the same volume), is handed to the disk
// first when `sync` asks it, and only then takes the target's name in one rename. A reader, or
// the next run after a process was killed at any moment, therefore finds the old file or the
// whole new one, never a torn one; at worst a scratch file is left over, which the next
// replacement overwrites. The in-place fallback gives that promise up for the one case where
// the rename cannot be had: on Windows a target that another program holds open can be
// rewritten but not renamed over.
//
// Every step goes through platform::OpenFile, RenameFile and RemoveFile, so the fault hook
// reaches each of them.
namespace epd::platform {

struct ReplaceOptions {
  // The scratch file is path + this.
  std::string_view scratch_suffix = ".new";
  // Hand the scratch file's bytes to the disk before the rename, and the directory's entries
  // after it (the in-place bytes before returning): once ReplaceFile returns, the new content is
  // what a power failure leaves under the name.
  bool sync = false;
  // Writing the target itself, without a scratch file, when the way through the scratch fails.
  enum class InPlace {
    kNever,            // the failure raises
    kIfRenameRefused,  // only when the scratch was written but its rename was refused, and only
                       // over an existing target
    kAfterAnyFailure,  // whenever the scratch cannot be written or renamed; creates the target
  };
  InPlace in_place = InPlace::kNever;
  // A scratch file whose rename failed is always removed; one whose writing failed is removed
  // too unless this says to leave it (the next replacement overwrites it).
  bool keep_scratch_after_failed_write = false;
};

// Makes `bytes` the whole content of the file at `path` in the order above. Raises epd::Error
// naming the file and the step that failed: the step of the in-place write when that was tried,
// otherwise the step of the scratch file's writing or rename. A removal of the scratch file that
// fails is not reported (it is left for the next replacement).
void ReplaceFile(std::string_view path, std::string_view bytes, const ReplaceOptions& options);

}  // namespace epd::platform
