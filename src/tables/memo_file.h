#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "tables/dbf_layout.h"

// The memo file beside a table: .DBT (dBASE III: 512-byte blocks ended by 0x1A; dBASE IV and
// later: a block size in the header and entries that start FF FF 08 00 with their length) or
// .FPT (FoxPro: big-endian header and entries). Reads never go outside the file and give the
// empty text for anything that is not there.
namespace epd::tables {

class MemoFile {
 public:
  // The memo file that belongs to the table, or null when there is none.
  static std::unique_ptr<MemoFile> OpenBeside(std::string_view table_path, const TableLayout& layout, bool writable);
  // Writes a new, empty memo file for a table (dBASE IV style, 512-byte blocks).
  static void CreateBeside(std::string_view table_path);
  static std::string PathBeside(std::string_view table_path, const TableLayout& layout);

  std::string Read(std::uint64_t block);
  // Stores the text as a new entry and answers its block number.
  std::uint64_t Write(std::string_view text);
  // Hands what was written to the disk.
  void Sync() { file_->Sync(); }

 private:
  enum class Kind { kDbase3, kDbase4, kFoxPro };
  MemoFile(std::unique_ptr<platform::File> file, Kind kind, std::uint32_t block_size);

  std::unique_ptr<platform::File> file_;
  Kind kind_;
  std::uint32_t block_size_;
};

// The block number that a memo field of the record refers to; 0 for none.
std::uint64_t MemoBlockOf(const char* field, std::uint32_t length);
// Writes a block number into a memo field.
void PutMemoBlock(std::uint64_t block, std::uint32_t length, char* field);

}  // namespace epd::tables
