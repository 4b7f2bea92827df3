#include "export/output_restore.h"

#include <exception>

#include "platform/files.h"

namespace epd::exporter {
namespace {

using FileTail = tables::Table::FileTail;

FileTail ReadTail(const std::string& path) {
  auto file = platform::OpenFile(path, platform::FileMode::kRead);
  FileTail tail;
  tail.size = file->Size();
  tail.header.resize(32);
  tail.header.resize(file->ReadAt(0, tail.header.data(), tail.header.size()));
  if (tail.size > 0) file->ReadAt(tail.size - 1, &tail.last, 1);
  return tail;
}

void RestoreTail(const std::string& path, const FileTail& before) {
  const FileTail now = ReadTail(path);
  if (now.size == before.size && now.header == before.header && now.last == before.last) return;
  auto file = platform::OpenFile(path, platform::FileMode::kReadWrite);
  if (now.size != before.size) file->Truncate(before.size);
  file->WriteAt(0, before.header.data(), before.header.size());
  if (before.size > 0) file->WriteAt(before.size - 1, &before.last, 1);
}

}  // namespace

std::string PutBack(OutputTable& output) {
  std::string trouble;
  auto add_trouble = [&](const std::string& text) {
    if (!trouble.empty()) trouble += "; ";
    trouble += text;
  };
  // A handle of its own: the export's handle may be the one that failed (opened for reading only
  // when opening for writing was refused at that moment).
  if (output.table) {
    try {
      output.table->Cancel();
      output.table->Close();
    } catch (const std::exception&) {
    }
    output.table.reset();
  }
  std::string engine_trouble;
  try {
    output.table = tables::Table::Open(output.path);
    output.table->TruncateRecords(output.tail_before.records);
  } catch (const std::exception& e) {
    engine_trouble = e.what();
  }
  if (!output.flags_before.empty()) {
    try {
      if (!output.table) output.table = tables::Table::Open(output.path);
      output.table->RestoreDeletionFlags(output.flags_before);
    } catch (const std::exception& e) {
      add_trouble(e.what());  // the bytes restored below do not hold the flags
    }
  }
  try {
    if (output.table) output.table->Close();
  } catch (const std::exception&) {
  }
  output.table.reset();
  try {
    RestoreTail(output.path, output.tail_before);
    output.appending = false;
  } catch (const std::exception& e) {
    add_trouble(engine_trouble.empty() ? std::string(e.what()) : engine_trouble + "; " + e.what());
  }
  return trouble;
}

}  // namespace epd::exporter
