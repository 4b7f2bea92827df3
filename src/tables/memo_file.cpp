#include "tables/memo_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/coding.h"
#include "platform/error.h"

namespace epd::tables {
namespace {

constexpr std::uint64_t kMaxMemo = 64ull << 20;  // larger entries are taken as damage

std::string ReplaceExtension(std::string_view path, std::string_view ext) {
  const std::size_t sep = path.find_last_of("\\/");
  const std::size_t dot = path.rfind('.');
  std::string out(path);
  if (dot != std::string_view::npos && (sep == std::string_view::npos || dot > sep)) out.resize(dot);
  out += ext;
  return out;
}

}  // namespace

MemoFile::MemoFile(std::unique_ptr<platform::File> file, Kind kind, std::uint32_t block_size)
    : file_(std::move(file)), kind_(kind), block_size_(block_size) {}

std::string MemoFile::PathBeside(std::string_view table_path, const TableLayout& layout) {
  return ReplaceExtension(table_path, layout.family == DbfFamily::kFoxPro ? ".fpt" : ".dbt");
}

std::unique_ptr<MemoFile> MemoFile::OpenBeside(std::string_view table_path, const TableLayout& layout, bool writable) {
  const std::string path = PathBeside(table_path, layout);
  if (!platform::FileExists(path)) return nullptr;
  std::unique_ptr<platform::File> file;
  try {
    file = platform::OpenFile(path, writable ? platform::FileMode::kReadWrite : platform::FileMode::kRead);
  } catch (const Error&) {
    if (!writable) return nullptr;
    file = platform::OpenFile(path, platform::FileMode::kRead);
  }
  unsigned char head[32] = {};
  file->ReadAt(0, head, sizeof head);
  Kind kind = Kind::kDbase4;
  std::uint32_t block = 512;
  if (layout.family == DbfFamily::kFoxPro) {
    kind = Kind::kFoxPro;
    block = platform::GetBe16(head + 6);
    if (block == 0) block = 64;
  } else if (layout.version == 0x83) {
    kind = Kind::kDbase3;
  } else {
    block = platform::GetLe16(head + 20);
    if (block == 0) block = 512;
  }
  return std::unique_ptr<MemoFile>(new MemoFile(std::move(file), kind, block));
}

void MemoFile::CreateBeside(std::string_view table_path) {
  const std::string path = ReplaceExtension(table_path, ".dbt");
  auto file = platform::OpenFile(path, platform::FileMode::kCreate);
  std::vector<unsigned char> head(512, 0);
  platform::PutLe32(head.data(), 1);
  head[20] = 0x00;  // 512-byte blocks
  head[21] = 0x02;
  file->WriteAt(0, head.data(), head.size());
  file->Sync();  // on the disk before the table that refers to it takes its name
}

std::string MemoFile::Read(std::uint64_t block) {
  if (block == 0) return std::string();
  const std::uint64_t size = file_->Size();
  const std::uint64_t at = block * block_size_;
  if (at >= size || block > size) return std::string();
  if (kind_ == Kind::kFoxPro) {
    unsigned char head[8];
    if (file_->ReadAt(at, head, 8) < 8) return std::string();
    std::uint64_t len = platform::GetBe32(head + 4);
    len = std::min<std::uint64_t>({len, size - at - 8 > size ? 0 : size - at - 8, kMaxMemo});
    std::string out(static_cast<std::size_t>(len), '\0');
    out.resize(file_->ReadAt(at + 8, out.data(), out.size()));
    return out;
  }
  unsigned char head[8];
  const std::size_t got = file_->ReadAt(at, head, 8);
  if (kind_ == Kind::kDbase4 && got == 8 && head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0) {
    std::uint64_t len = platform::GetLe32(head + 4);
    len = len >= 8 ? len - 8 : 0;
    len = std::min<std::uint64_t>({len, size - at - 8, kMaxMemo});
    std::string out(static_cast<std::size_t>(len), '\0');
    out.resize(file_->ReadAt(at + 8, out.data(), out.size()));
    return out;
  }
  // dBASE III style: the text runs to the first 0x1A.
  std::string out;
  std::vector<char> buf(4096);
  std::uint64_t pos = at;
  while (pos < size && out.size() < kMaxMemo) {
    const std::size_t n = file_->ReadAt(pos, buf.data(), buf.size());
    if (n == 0) break;
    const char* end = static_cast<const char*>(std::memchr(buf.data(), 0x1A, n));
    if (end) {
      out.append(buf.data(), static_cast<std::size_t>(end - buf.data()));
      break;
    }
    out.append(buf.data(), n);
    pos += n;
  }
  return out;
}

std::uint64_t MemoFile::Write(std::string_view text) {
  // A new entry goes at the end of the file. The header's next free block says the same in a
  // sound file; in a damaged one it may point anywhere, and a block far beyond the end would
  // make the file grow by gigabytes (terabytes, with a block number near 2^32).
  const std::uint64_t size = file_->Size();
  const std::uint64_t end_block = (size + block_size_ - 1) / block_size_;
  const std::uint64_t next = std::max<std::uint64_t>(end_block, 1);
  std::string entry;
  if (kind_ == Kind::kDbase3) {
    entry.assign(text);
    entry += "\x1A\x1A";
  } else {
    unsigned char prefix[8];
    if (kind_ == Kind::kFoxPro) {
      platform::PutBe32(prefix, 1);
      platform::PutBe32(prefix + 4, static_cast<std::uint32_t>(text.size()));
    } else {
      prefix[0] = 0xFF, prefix[1] = 0xFF, prefix[2] = 0x08, prefix[3] = 0x00;
      platform::PutLe32(prefix + 4, static_cast<std::uint32_t>(text.size() + 8));
    }
    entry.assign(reinterpret_cast<const char*>(prefix), 8);
    entry.append(text);
  }
  const std::uint64_t blocks = (entry.size() + block_size_ - 1) / block_size_;
  entry.resize(static_cast<std::size_t>(blocks * block_size_), '\0');
  // The entry first, then the header's next free block: an interrupted write leaves an unused
  // tail, never a header that points into a half-written entry.
  file_->WriteAt(next * block_size_, entry.data(), entry.size());
  unsigned char free_block[4];
  if (kind_ == Kind::kFoxPro)
    platform::PutBe32(free_block, static_cast<std::uint32_t>(next + blocks));
  else
    platform::PutLe32(free_block, static_cast<std::uint32_t>(next + blocks));
  file_->WriteAt(0, free_block, 4);
  return next;
}

std::uint64_t MemoBlockOf(const char* field, std::uint32_t length) {
  if (length == 4) return platform::GetLe32(field);
  std::uint64_t v = 0;
  for (std::uint32_t i = 0; i < length; ++i) {
    const char c = field[i];
    if (c >= '0' && c <= '9') {
      v = v * 10 + static_cast<std::uint64_t>(c - '0');
      if (v > 0xFFFFFFFFull) return 0;
    } else if (c != ' ' && c != '\0') {
      return 0;
    }
  }
  return v;
}

void PutMemoBlock(std::uint64_t block, std::uint32_t length, char* field) {
  if (length == 4) {
    platform::PutLe32(field, static_cast<std::uint32_t>(block));
    return;
  }
  std::memset(field, ' ', length);
  if (block == 0) return;
  std::string digits = std::to_string(block);
  if (digits.size() > length) return;
  std::memcpy(field + (length - digits.size()), digits.data(), digits.size());
}

}  // namespace epd::tables
