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
#include "host_tables.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/regional.h"
#include "tables/table.h"

namespace {

using epd::platform::Utf8ToCp1251;
using Row = std::vector<std::pair<std::string, std::string>>;  // column -> UTF-8 text

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

// Every field mapped to an output column of its own name.
std::string SettingsText() {
  return "[EPD]\r\nbExportEPD=1\r\nExport_Dir=\r\nbDOScoding=0\r\nlavel=5\r\nsinglefile=0\r\nbAutoExportEPD=1\r\n"
         "manyfiles=0\r\nseller=0\r\ncharlength=8\r\n[Settings]\r\nbchangecncode=1\r\n" +
         epd::sample::MappingSections();
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
  Create(epd + "cat_epd.dbf", epd::sample::HeaderColumns(), headers);
  Create(epd + "body_epd.dbf", epd::sample::LineColumns(), lines);
  Create(epd + "epdct.dbf", epd::sample::HeaderColumns(), new_headers);
  Create(epd + "epdbd.dbf", epd::sample::LineColumns(), new_lines);

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
