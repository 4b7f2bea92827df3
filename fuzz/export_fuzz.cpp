// The whole export over host tables of any bytes: cat_epd.dbf (also as the list of new invoices
// epdct.dbf) and body_epd.dbf (also as epdbd.dbf) are the input, the automatic pass exports every
// invoice they list, then one invoice more by its number, with the options the first byte
// chooses. Then the host's own program changes its tables between further exports, as the
// script in the rest of the input says (host_script.h).
//
// What must hold: nothing escapes, every output file opens and reads, its header counts no
// more records than it holds, no scratch file is left behind, the line tables and the list are
// not changed at all, and cat_epd.dbf changes only inside the DLVCHN column of its records; and
// after the host's changes, every export comes out as one that reads the tables whole.
//
// Input: byte 0, the options (bit 0 singlefile, 1 manyfiles, 2 seller, 3 bDOScoding, 4 level 7
// writes the outputs through the engine, 5 code replacement for supplier 77, 6 answer Yes to the
// replace question, 7 GNVLS as a logical column); bytes 1-2 and 3-4, the lengths of cat_epd.dbf
// and body_epd.dbf (little-endian); then cat_epd.dbf, body_epd.dbf and the script.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "export/export_driver.h"
#include "export/library_state.h"
#include "host_script.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/regional.h"
#include "platform/test_support.h"
#include "tables/dbf_layout.h"
#include "tables/field_defs.h"
#include "tables/scan_cache.h"
#include "tables/table.h"
#include "tables/table_walk.h"

using namespace epd;
namespace fs = std::filesystem;

namespace {

bool answer_yes = false;
int EPD_STDCALL Answer(int kind, const char*, const char*, void*) { return kind == 1 && answer_yes ? 1 : 0; }

void Check(bool ok) {
  if (!ok) std::abort();
}

std::string Settings(std::uint8_t options, const std::string& out) {
  std::string ini = "[EPD]\nbExportEPD=1\nbAutoExportEPD=1\nExport_Dir=" + out + "\n";
  ini += std::string("singlefile=") + ((options & 1) ? "1" : "0") + "\n";
  ini += std::string("manyfiles=") + ((options & 2) ? "1" : "0") + "\ncharlength=3\n";
  ini += std::string("seller=") + ((options & 4) ? "1" : "0") + "\n";
  ini += std::string("bDOScoding=") + ((options & 8) ? "1" : "0") + "\n";
  ini += std::string("lavel=") + ((options & 16) ? "7" : "5") + "\n";
  ini += std::string("[Settings]\nlevel=4\nbchangecncode=") + ((options & 32) ? "1" : "0") + "\n";
  const char* fields[][3] = {
      {"IDMSG", "10", "ftInteger"},    {"MSGNUM", "10", "ftInteger"},  {"CATTYP", "2", "ftString"},
      {"IDSENDER", "10", "ftInteger"}, {"SENDER", "40", "ftString"},   {"INVNUM", "10", "ftString"},
      {"INVDT", "8", "ftDate"},        {"SUMTOT", "9", "ftFloat"},     {"ITEMID", "60", "ftString"},
      {"LOCALCOD", "13", "ftString"},  {"ITEMQTY", "10", "ftInteger"}, {"CATPRNV", "9", "ftFloat"},
      {"GNVLS", "1", "ftString"},      {"USEBEFOR", "8", "ftDate"}};
  for (const auto& f : fields) {
    const std::string type = std::string(f[0]) == "GNVLS" && (options & 128) ? "ftBoolean" : f[2];
    ini += std::string("[") + f[0] + "]\nname=" + f[0] + "\nlength=" + f[1] + "\ntype=" + type + "\n";
  }
  return ini;
}

// Every .dbf below the export directory opens, reads to the end and counts only records it
// holds; no scratch file of a creation or a settings write is left.
void CheckOutputs(const fs::path& root) {
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    Check(!name.ends_with(".new") && !name.ends_with(".~tmp"));
    if (!name.ends_with(".dbf")) continue;
    const std::string path = platform::Utf8ToCp1251(entry.path().string());
    const std::string bytes = testing_support::ReadFile(path);
    Check(bytes.size() >= 12);
    const auto u = [&](std::size_t i) { return static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[i])); };
    const std::uint64_t count = u(4) | u(5) << 8 | u(6) << 16 | u(7) << 24;
    const std::uint64_t header = u(8) | u(9) << 8, record = u(10) | u(11) << 8;
    Check(header + count * record <= bytes.size());
    tables::ReadWholeTable(path);
  }
}

// cat_epd.dbf after the export: the same bytes but for DLVCHN of its records.
void CheckHostHeader(const std::string& before, const std::string& after) {
  Check(before.size() == after.size());
  if (before == after) return;
  tables::TableLayout layout;
  try {
    layout = tables::ParseLayout("cat_epd.dbf", reinterpret_cast<const unsigned char*>(before.data()), before.size());
  } catch (const Error&) {
    std::abort();  // the export wrote into a file the engine cannot read
  }
  const int dlvchn = layout.FieldIndex("DLVCHN");
  Check(dlvchn >= 0);
  const tables::FieldInfo& field = layout.fields[static_cast<std::size_t>(dlvchn)];
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i]) continue;
    Check(i >= layout.header_length);
    const std::uint64_t in_record = (i - layout.header_length) % layout.record_length;
    Check(in_record >= field.offset && in_record < field.offset + field.length);
  }
}

// Nothing is written outside the export directory but the code table in DATA.
void CheckNothingElse(const fs::path& base, const fs::path& out) {
  for (auto it = fs::recursive_directory_iterator(base); it != fs::recursive_directory_iterator(); ++it) {
    if (it->path() == out) {
      it.disable_recursion_pending();
      continue;
    }
    const std::string rel = fs::relative(it->path(), base).generic_string();
    Check(rel == "ORDERS" || rel == "ORDERS/EPD" || rel == "DATA" || rel == "ORDERS/EPD/cat_epd.dbf" ||
          rel == "ORDERS/EPD/body_epd.dbf" || rel == "ORDERS/EPD/epdct.dbf" || rel == "ORDERS/EPD/epdbd.dbf" ||
          rel == "DATA/export_epd.ini" || rel == "DATA/SelList.dbf" || rel == "DATA/AtachList.dbf");
  }
}

// A second host directory as the first is now: host tables, data and outputs.
void CopyHost(const std::string& from, const std::string& to, std::uint8_t options) {
  const fs::path source = platform::SystemPath(from), target = platform::SystemPath(to);
  for (const char* sub : {"ORDERS", "DATA", "OUT"}) {
    fs::remove_all(target / sub);
    fs::copy(source / sub, target / sub, fs::copy_options::recursive);
  }
  testing_support::WriteFile(to + "DATA\\export_epd.ini", Settings(options, to + "OUT\\"));
}

void RemoveRetired(const std::string& base) {
  for (const auto& entry : fs::directory_iterator(platform::SystemPath(base)))
    if (entry.path().filename().string().starts_with("retired")) fs::remove(entry.path());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static testing_support::TempDir dir, plain_dir;
  static bool ready = false;
  const std::string base = dir.path();
  const std::string epd = base + "ORDERS\\EPD\\";
  const std::string out = base + "OUT\\";
  if (!ready) {
    for (const char* sub : {"ORDERS", "ORDERS\\EPD", "DATA"}) platform::MakeDirectory(base + sub);
    platform::SetRegionalFormatOverride(platform::RegionalFormat{',', "dd.MM.yyyy"});
    platform::SetMessageHandler(&Answer, nullptr);
    tables::FieldDefs defs;
    defs.Add("idSeller", tables::FieldType::kInteger);
    defs.Add("Seller", tables::FieldType::kString, 30);
    tables::CreateTable(base + "DATA\\SelList.dbf", defs);
    auto list = tables::Table::Open(base + "DATA\\SelList.dbf");
    list->Append();
    list->SetAsString("idSeller", "77");
    list->Post();
    // Even these small tables are recorded, so that the host's changes meet what it learned.
    tables::ScanCache::Instance().SetLimits(1u << 20, 32u << 20, /*min_records=*/1);
    ready = true;
  }
  if (size < 5) return 0;
  tables::ScanCache::Instance().Clear();  // a new day: nothing learned from earlier inputs
  const std::uint8_t options = data[0];
  const std::size_t header_size = std::min<std::size_t>(size - 5, data[1] | (data[2] << 8));
  const std::size_t lines_size = std::min<std::size_t>(size - 5 - header_size, data[3] | (data[4] << 8));
  const std::string header(reinterpret_cast<const char*>(data) + 5, header_size);
  const std::string lines(reinterpret_cast<const char*>(data) + 5 + header_size, lines_size);
  const std::uint8_t* script = data + 5 + header_size + lines_size;
  const std::size_t script_size = size - 5 - header_size - lines_size;

  const fs::path out_native = platform::SystemPath(out);
  fs::remove_all(out_native);
  platform::MakeDirectory(base + "OUT");
  if (platform::FileExists(base + "DATA\\AtachList.dbf")) platform::RemoveFile(base + "DATA\\AtachList.dbf");
  testing_support::WriteFile(epd + "cat_epd.dbf", header);
  testing_support::WriteFile(epd + "epdct.dbf", header);
  testing_support::WriteFile(epd + "body_epd.dbf", lines);
  testing_support::WriteFile(epd + "epdbd.dbf", lines);
  testing_support::WriteFile(base + "DATA\\export_epd.ini", Settings(options, out));
  answer_yes = (options & 64) != 0;

  exporter::InitializeEPD(base);
  exporter::ExportNewEPD();
  exporter::ExportInvoice(1);

  CheckOutputs(out_native);
  CheckNothingElse(platform::SystemPath(base), out_native);
  CheckHostHeader(header, testing_support::ReadFile(epd + "cat_epd.dbf"));
  Check(testing_support::ReadFile(epd + "epdct.dbf") == header);
  Check(testing_support::ReadFile(epd + "body_epd.dbf") == lines);
  Check(testing_support::ReadFile(epd + "epdbd.dbf") == lines);

  if (script_size >= 5) {
    CopyHost(base, plain_dir.path(), options);
    fuzzing::HostPair pair{base, plain_dir.path(), options};
    fuzzing::RunScript(pair, script, script_size);
    RemoveRetired(base);
    RemoveRetired(plain_dir.path());
  }
  return 0;
}
