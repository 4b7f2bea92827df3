#include "host_tables.h"

namespace epd::sample {
namespace {

const dbf::TDBFFieldDefs kHeaderColumns = {
    {"IDMSG", 'N', 10, 0},  {"MSGNUM", 'N', 10, 0},    {"BRECQ", 'N', 5, 0},    {"MSGD", 'D', 8, 0},
    {"MSGT", 'C', 8, 0},    {"DEMCHN", 'N', 3, 0},     {"DEMD", 'D', 8, 0},     {"DEMT", 'C', 8, 0},
    {"OBTNAM", 'C', 60, 0}, {"CMCOD", 'N', 10, 0},     {"CATTYP", 'C', 2, 0},   {"BOXQTY", 'N', 4, 0},
    {"PAYDT", 'D', 8, 0},   {"DLVD", 'D', 8, 0},       {"DLVT", 'C', 8, 0},     {"SUMNVT", 'N', 12, 2},
    {"SUMTOT", 'N', 12, 2}, {"SUMVAT", 'N', 12, 2},    {"CSUM0", 'N', 12, 2},   {"CSUM10", 'N', 12, 2},
    {"CSUM20", 'N', 12, 2}, {"SUM10", 'N', 12, 2},     {"SUM20", 'N', 12, 2},   {"INVNUM", 'C', 20, 0},
    {"INVDT", 'D', 8, 0},   {"BILLNUM", 'C', 20, 0},   {"BILLDT", 'D', 8, 0},   {"ACCNUM", 'C', 20, 0},
    {"ACCDT", 'D', 8, 0},   {"PCONNUM", 'C', 20, 0},   {"PCONDT", 'D', 8, 0},   {"IDSENDER", 'N', 10, 0},
    {"SENDER", 'C', 60, 0}, {"IDORDERCL", 'N', 10, 0}, {"DATE_RCV", 'D', 8, 0}, {"TIME_RCV", 'C', 8, 0},
    {"DLVCHN", 'N', 1, 0}};

const dbf::TDBFFieldDefs kLineColumns = {
    {"IDMSG", 'N', 10, 0},     {"MSGNUM", 'N', 10, 0},   {"ITEMID", 'C', 80, 0},    {"FIRMID", 'C', 40, 0},
    {"LANDID", 'C', 30, 0},    {"LOCALCOD", 'C', 13, 0}, {"BARCOD", 'C', 13, 0},    {"ITEMQTY", 'N', 10, 0},
    {"ITEMUNIT", 'C', 10, 0},  {"CATPRNV", 'N', 12, 2},  {"PRODPRNV", 'N', 12, 2},  {"CATVAT", 'N', 12, 2},
    {"CATTOT", 'N', 12, 2},    {"VAT", 'N', 3, 0},       {"SUMRECNVT", 'N', 12, 2}, {"SUMRECTOT", 'N', 12, 2},
    {"SERIES", 'C', 20, 0},    {"PRODDT", 'D', 8, 0},    {"USEBEFOR", 'D', 8, 0},   {"REGPRDT", 'D', 8, 0},
    {"SERDLVDT", 'D', 8, 0},   {"SEROVRDT", 'D', 8, 0},  {"SERNUMID", 'C', 40, 0},  {"SERORG", 'C', 60, 0},
    {"GNVLS", 'L', 1, 0},      {"GCHDN", 'C', 30, 0},    {"REGPR", 'N', 12, 2},     {"IMPPRUP", 'N', 6, 2},
    {"WHLPRUP", 'N', 6, 2},    {"CLPRUP", 'N', 6, 2},    {"CLPRICE", 'N', 12, 2},   {"CURREGPR", 'N', 12, 2},
    {"CURSIGN", 'C', 3, 0},    {"ALTCOD", 'C', 13, 0},   {"IDWARE", 'N', 10, 0},    {"WHLLNKCNT", 'N', 2, 0},
    {"WHLLNKPRMS", 'C', 30, 0}};

}  // namespace

const dbf::TDBFFieldDefs& HeaderColumns() { return kHeaderColumns; }
const dbf::TDBFFieldDefs& LineColumns() { return kLineColumns; }

const std::vector<MappedField>& EveryFieldMapped() {
  static const std::vector<MappedField> mapping = {
      {"IDMSG", "10", "ftInteger"},     {"MSGNUM", "10", "ftInteger"},    {"BRECQ", "5", "ftInteger"},
      {"MSGD", "8", "ftDate"},          {"MSGT", "8", "ftString"},        {"DEMCHN", "3", "ftInteger"},
      {"DEMD", "8", "ftDate"},          {"DEMT", "8", "ftString"},        {"OBTNAM", "60", "ftString"},
      {"CMCOD", "10", "ftInteger"},     {"CATTYP", "2", "ftString"},      {"BOXQTY", "4", "ftInteger"},
      {"PAYDT", "8", "ftDate"},         {"DLVD", "8", "ftDate"},          {"DLVT", "8", "ftString"},
      {"SUMNVT", "12", "ftFloat"},      {"SUMTOT", "12", "ftFloat"},      {"SUMVAT", "12", "ftFloat"},
      {"CSUM0", "12", "ftFloat"},       {"CSUM10", "12", "ftFloat"},      {"CSUM20", "12", "ftFloat"},
      {"SUM10", "12", "ftFloat"},       {"SUM20", "12", "ftFloat"},       {"INVNUM", "20", "ftString"},
      {"INVDT", "8", "ftDate"},         {"BILLNUM", "20", "ftString"},    {"BILLDT", "8", "ftDate"},
      {"ACCNUM", "20", "ftString"},     {"ACCDT", "8", "ftDate"},         {"PCONNUM", "20", "ftString"},
      {"PCONDT", "8", "ftDate"},        {"IDSENDER", "10", "ftInteger"},  {"SENDER", "60", "ftString"},
      {"IDORDERCL", "10", "ftInteger"}, {"DATE_RCV", "8", "ftDate"},      {"TIME_RCV", "8", "ftString"},
      {"ITEMID", "80", "ftString"},     {"FIRMID", "40", "ftString"},     {"LANDID", "30", "ftString"},
      {"LOCALCOD", "13", "ftString"},   {"BARCOD", "13", "ftString"},     {"ITEMQTY", "10", "ftInteger"},
      {"ITEMUNIT", "10", "ftString"},   {"CATPRNV", "12", "ftFloat"},     {"PRODPRNV", "12", "ftFloat"},
      {"CATVAT", "12", "ftFloat"},      {"CATTOT", "12", "ftFloat"},      {"VAT", "3", "ftInteger"},
      {"SUMRECNVT", "12", "ftFloat"},   {"SUMRECTOT", "12", "ftFloat"},   {"SERIES", "20", "ftString"},
      {"PRODDT", "8", "ftDate"},        {"USEBEFOR", "8", "ftDate"},      {"REGPRDT", "8", "ftDate"},
      {"SERDLVDT", "8", "ftDate"},      {"SEROVRDT", "8", "ftDate"},      {"SERNUMID", "40", "ftString"},
      {"SERORG", "60", "ftString"},     {"GNVLS", "1", "ftBoolean"},      {"GCHDN", "30", "ftString"},
      {"REGPR", "12", "ftFloat"},       {"IMPPRUP", "6", "ftFloat"},      {"WHLPRUP", "6", "ftFloat"},
      {"CLPRUP", "6", "ftFloat"},       {"CLPRICE", "12", "ftFloat"},     {"CURREGPR", "12", "ftFloat"},
      {"CURSIGN", "3", "ftString"},     {"ALTCOD", "13", "ftString"},     {"IDWARE", "10", "ftString"},
      {"WHLLNKCNT", "2", "ftInteger"},  {"WHLLNKPRMS", "30", "ftString"},
  };
  return mapping;
}

std::string MappingSections() {
  std::string text;
  for (const MappedField& m : EveryFieldMapped())
    text += "[" + std::string(m.key) + "]\r\nname=" + m.key + "\r\nlength=" + m.length + "\r\ntype=" + m.type + "\r\n";
  return text;
}

}  // namespace epd::sample
