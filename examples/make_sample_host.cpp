// Writes the sample host directory: a pharmacy's invoice tables in ORDERS\EPD, the supplier
// directory Price\Sellers.dbf and the export settings DATA\export_epd.ini. The tables are dBASE
// III files in code page 1251, written by the library's own writer and engine; every table's
// date of last update is fixed so that the output does not depend on the day it is made.
//
//   make_sample_host DIR
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "dbf/dbf_writer.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/regional.h"
#include "tables/table.h"

namespace {

using epd::platform::Utf8ToCp1251;
using Row = std::vector<std::pair<std::string, std::string>>;  // column -> UTF-8 text

const epd::dbf::TDBFFieldDefs kHeaderColumns = {
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

const epd::dbf::TDBFFieldDefs kLineColumns = {
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

struct Supplier {
  int id;
  const char* name;
};
const Supplier kSuppliers[] = {{101, "ООО «Фармлайн-Юг»"},
                               {102, "АО «Медснаб»"},
                               {103, "ЗАО «Аптечный двор»"},
                               {104, "ООО «Вита-Опт»"},
                               {105, "ООО «Северная звезда»"}};

struct Product {
  const char* name;
  const char* maker;
  const char* country;
  const char* barcode;
  int vat;              // percent
  long price;           // kopecks, without VAT
  bool vital;           // on the list of vital and essential drugs
  const char* customs;  // customs declaration of imported goods
};
const Product kProducts[] = {
    {"Парацетамол таб. 500мг №10", "Волжский химфарм", "Россия", "4601234500017", 10, 1850, true, ""},
    {"Ибупрофен таб. п/о 200мг №50", "Медпрепараты Сибири", "Россия", "4602345600128", 10, 6420, true, ""},
    {"Амоксициллин капс. 500мг №16", "Lekar Pharma d.o.o.", "Сербия", "3850123400235", 10, 11840, true,
     "10130010/150124/0001234"},
    {"Лоратадин таб. 10мг №10", "ФармаВест", "Россия", "4603456700349", 10, 4200, false, ""},
    {"Омепразол капс. 20мг №30", "Nordmed GmbH", "Германия", "4012345600452", 10, 9675, true,
     "10130010/020224/0004567"},
    {"Аскорбиновая кислота драже 50мг №200", "Волжский химфарм", "Россия", "4601234500567", 10, 3560, false, ""},
    {"Бинт марлевый стерильный 7м х 14см", "Текстильмед", "Россия", "4604567800674", 20, 2730, false, ""},
    {"Нафазолин капли наз. 0,1% 10мл", "ФармаВест", "Россия", "4603456700783", 10, 2190, false, ""},
    {"Метформин таб. 850мг №60", "Indo Remedies Ltd", "Индия", "8901234500891", 10, 15400, true,
     "10130010/280224/0007890"},
    {"Термометр медицинский электронный", "Nordmed GmbH", "Германия", "4012345600919", 20, 18900, false,
     "10130010/020224/0004567"},
};

struct Line {
  int product;
  int quantity;
  const char* supplier_code;
  const char* series;
};
struct Invoice {
  int id;
  int supplier;
  const char* type;  // CatTyp; "DR" is never exported
  const char* number;
  const char* date;
  bool delivered;  // exported earlier: DLVCHN 1, not in the list of new invoices
  std::vector<Line> lines;
};
const Invoice kInvoices[] = {
    {240101,
     101,
     "OR",
     "ФЮ-00871",
     "11.03.2024",
     false,
     {{0, 20, "10234", "120224"}, {1, 10, "10877", "AB3041"}, {3, 15, "11020", "0324"}, {6, 30, "30411", "1023"}}},
    {240102,
     102,
     "OR",
     "МС-5520/24",
     "12.03.2024",
     false,
     {{2, 12, "A-5521", "L2401"}, {4, 8, "A-7730", "N2312"}, {8, 6, "A-9001", "IR0224"}}},
    {240103, 103, "DR", "АД-118", "12.03.2024", false, {{5, 40, "77-001", "0224"}, {7, 25, "77-014", "0124"}}},
    {240104, 101, "OR", "ФЮ-00894", "14.03.2024", false, {{0, 50, "10234", "130224"}, {9, 3, "40012", "T2402"}}},
    {240099, 104, "OR", "ВО-3012", "05.03.2024", true, {{1, 20, "6401", "AB2977"}, {5, 10, "6517", "1123"}}},
};

std::string Money(long kopecks) {
  return std::to_string(kopecks / 100) + "," + (kopecks % 100 < 10 ? "0" : "") + std::to_string(kopecks % 100);
}

void Create(const std::string& path, const epd::dbf::TDBFFieldDefs& columns, const std::vector<Row>& rows) {
  if (!epd::dbf::CreateDBFFile(path, 4, 0xC9, columns)) throw std::runtime_error("cannot create " + path);
  auto table = epd::tables::Table::Open(path);
  for (const Row& row : rows) {
    table->Append();
    for (const auto& [column, value] : row) table->SetAsString(column, Utf8ToCp1251(value));
    table->Post();
  }
  table->Close();
  // A fixed date of last update: 15 March 2024.
  const unsigned char date[3] = {124, 3, 15};
  epd::platform::OpenFile(path, epd::platform::FileMode::kReadWrite)->WriteAt(1, date, 3);
}

// The mapping of every field: the output column is named like the field, with a fitting type.
std::string SettingsText() {
  struct Map {
    const char* key;
    const char* length;
    const char* type;
  };
  const Map kMapping[] = {
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
  std::string text =
      "[EPD]\r\nbExportEPD=1\r\nExport_Dir=\r\nbDOScoding=0\r\nlavel=5\r\nsinglefile=0\r\nbAutoExportEPD=1\r\n"
      "manyfiles=0\r\nseller=0\r\ncharlength=8\r\n[Settings]\r\nbchangecncode=1\r\n";
  for (const Map& m : kMapping)
    text += "[" + std::string(m.key) + "]\r\nname=" + m.key + "\r\nlength=" + m.length + "\r\ntype=" + m.type + "\r\n";
  return text;
}

void Make(const std::string& base) {
  for (const char* dir : {"ORDERS", "ORDERS\\EPD", "DATA", "Price"})
    if (!epd::platform::DirectoryExists(base + dir)) epd::platform::MakeDirectory(base + dir);

  std::vector<Row> sellers;
  for (const Supplier& s : kSuppliers) sellers.push_back({{"IDSELLER", std::to_string(s.id)}, {"SELLER", s.name}});
  Create(base + "Price\\Sellers.dbf", {{"IDSELLER", 'N', 10, 0}, {"SELLER", 'C', 50, 0}}, sellers);

  std::vector<Row> headers, lines, new_headers, new_lines;
  for (const Invoice& inv : kInvoices) {
    long net = 0, vat10 = 0, vat20 = 0, total10 = 0, total20 = 0;
    std::vector<Row> rows;
    for (const Line& l : inv.lines) {
      const Product& p = kProducts[l.product];
      const long vat = (p.price * p.vat + 50) / 100;
      const long gross = p.price + vat;
      net += p.price * l.quantity;
      (p.vat == 10 ? vat10 : vat20) += vat * l.quantity;
      (p.vat == 10 ? total10 : total20) += gross * l.quantity;
      const long retail = gross * 125 / 100;
      rows.push_back({{"IDMSG", std::to_string(inv.id)},
                      {"MSGNUM", std::to_string(inv.id - 230000)},
                      {"ITEMID", p.name},
                      {"FIRMID", p.maker},
                      {"LANDID", p.country},
                      {"LOCALCOD", l.supplier_code},
                      {"BARCOD", p.barcode},
                      {"ITEMQTY", std::to_string(l.quantity)},
                      {"ITEMUNIT", "уп"},
                      {"CATPRNV", Money(p.price)},
                      {"PRODPRNV", Money(p.price * 88 / 100)},
                      {"CATVAT", Money(vat)},
                      {"CATTOT", Money(gross)},
                      {"VAT", std::to_string(p.vat)},
                      {"SUMRECNVT", Money(p.price * l.quantity)},
                      {"SUMRECTOT", Money(gross * l.quantity)},
                      {"SERIES", l.series},
                      {"PRODDT", "01.02.2024"},
                      {"USEBEFOR", "01.02.2027"},
                      {"REGPRDT", p.vital ? "10.01.2024" : ""},
                      {"SERDLVDT", "20.02.2024"},
                      {"SEROVRDT", "01.02.2027"},
                      {"SERNUMID", std::string("РОСС RU.ФМ01.Д") + std::to_string(30000 + l.product * 17)},
                      {"SERORG", "ООО «Центр сертификации лекарств»"},
                      {"GNVLS", p.vital ? "T" : "F"},
                      {"GCHDN", p.customs},
                      {"REGPR", p.vital ? Money(p.price * 105 / 100) : ""},
                      {"IMPPRUP", *p.customs ? "8,5" : ""},
                      {"WHLPRUP", "12"},
                      {"CLPRUP", "25"},
                      {"CLPRICE", Money(retail)},
                      {"CURREGPR", ""},
                      {"CURSIGN", ""},
                      {"ALTCOD", std::to_string(500000 + l.product * 101)},
                      {"IDWARE", std::to_string(880000 + l.product)},
                      {"WHLLNKCNT", "1"},
                      {"WHLLNKPRMS", "12"}});
    }
    const Supplier* supplier = nullptr;
    for (const Supplier& s : kSuppliers)
      if (s.id == inv.supplier) supplier = &s;
    Row header = {{"IDMSG", std::to_string(inv.id)},
                  {"MSGNUM", std::to_string(inv.id - 230000)},
                  {"BRECQ", std::to_string(inv.lines.size())},
                  {"MSGD", inv.date},
                  {"MSGT", "09:15"},
                  {"DEMCHN", "2"},
                  {"DEMD", "04.03.2024"},
                  {"DEMT", "17:40"},
                  {"OBTNAM", "Аптека №12 «Здоровье», ул. Садовая, 8"},
                  {"CMCOD", "5501"},
                  {"CATTYP", inv.type},
                  {"BOXQTY", std::to_string(1 + inv.lines.size() / 2)},
                  {"PAYDT", "12.04.2024"},
                  {"DLVD", inv.date},
                  {"DLVT", "11:30"},
                  {"SUMNVT", Money(net)},
                  {"SUMTOT", Money(total10 + total20)},
                  {"SUMVAT", Money(vat10 + vat20)},
                  {"CSUM0", "0"},
                  {"CSUM10", Money(total10)},
                  {"CSUM20", Money(total20)},
                  {"SUM10", Money(vat10)},
                  {"SUM20", Money(vat20)},
                  {"INVNUM", inv.number},
                  {"INVDT", inv.date},
                  {"BILLNUM", inv.number},
                  {"BILLDT", inv.date},
                  {"ACCNUM", std::string("С-") + inv.number},
                  {"ACCDT", inv.date},
                  {"PCONNUM", ""},
                  {"PCONDT", ""},
                  {"IDSENDER", std::to_string(inv.supplier)},
                  {"SENDER", supplier->name},
                  {"IDORDERCL", std::to_string(inv.id - 239000)},
                  {"DATE_RCV", inv.date},
                  {"TIME_RCV", "10:02"},
                  {"DLVCHN", inv.delivered ? "1" : "0"}};
    headers.push_back(header);
    lines.insert(lines.end(), rows.begin(), rows.end());
    if (!inv.delivered) {
      new_headers.push_back(header);
      new_lines.insert(new_lines.end(), rows.begin(), rows.end());
    }
  }
  const std::string epd = base + "ORDERS\\EPD\\";
  Create(epd + "cat_epd.dbf", kHeaderColumns, headers);
  Create(epd + "body_epd.dbf", kLineColumns, lines);
  Create(epd + "epdct.dbf", kHeaderColumns, new_headers);
  Create(epd + "epdbd.dbf", kLineColumns, new_lines);

  const std::string settings = SettingsText();
  epd::platform::OpenFile(base + "DATA\\export_epd.ini", epd::platform::FileMode::kCreate)
      ->WriteAt(0, settings.data(), settings.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample_host DIR\n");
    return 2;
  }
  try {
    epd::platform::SetRegionalFormatOverride(epd::platform::RegionalFormat{',', "dd.MM.yyyy"});
    std::filesystem::create_directories(argv[1]);
    std::u8string dir = std::filesystem::absolute(std::filesystem::u8path(argv[1])).lexically_normal().u8string();
    std::string base = Utf8ToCp1251(std::string(dir.begin(), dir.end()));
    for (char& c : base)
      if (c == '/') c = '\\';
    if (base.back() != '\\') base += '\\';
    Make(base);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_sample_host: %s\n", epd::platform::Cp1251ToUtf8(e.what()).c_str());
    return 1;
  }
  return 0;
}
