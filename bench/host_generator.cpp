#include "host_generator.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "dbf/dbf_writer.h"
#include "host_tables.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/regional.h"
#include "tables/calendar.h"
#include "tables/cell.h"
#include "tables/field_codec.h"
#include "tables/table.h"
#include "tables/table_file.h"

namespace epd::bench {
namespace {

using tables::Cell;
using Row = std::vector<Cell>;

// A small, fast generator whose sequence is the same on every platform (the standard
// distributions are not).
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ >> 16);
  }
  std::uint32_t Below(std::uint32_t n) { return n == 0 ? 0 : Next() % n; }
  template <typename T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  std::uint64_t state_;
};

// Word lists (UTF-8 here, code page 1251 in the tables).
const char* const kSubstances[] = {"Парацетамол",
                                   "Ибупрофен",
                                   "Амоксициллин",
                                   "Лоратадин",
                                   "Омепразол",
                                   "Метформин",
                                   "Аскорбиновая кислота",
                                   "Нафазолин",
                                   "Азитромицин",
                                   "Цетиризин",
                                   "Эналаприл",
                                   "Амлодипин",
                                   "Аторвастатин",
                                   "Бисопролол",
                                   "Лозартан",
                                   "Диклофенак",
                                   "Кеторолак",
                                   "Дротаверин",
                                   "Панкреатин",
                                   "Лоперамид",
                                   "Ацикловир",
                                   "Флуконазол",
                                   "Кларитромицин",
                                   "Цефтриаксон",
                                   "Ципрофлоксацин",
                                   "Метронидазол",
                                   "Глицин",
                                   "Валидол",
                                   "Корвалол",
                                   "Мельдоний",
                                   "Ацетилцистеин",
                                   "Амброксол",
                                   "Ксилометазолин",
                                   "Хлоргексидин",
                                   "Повидон-йод",
                                   "Пантопразол",
                                   "Домперидон",
                                   "Урсодезоксихолевая кислота",
                                   "Магния сульфат",
                                   "Калия хлорид",
                                   "Натрия хлорид",
                                   "Гепарин",
                                   "Троксерутин",
                                   "Бетагистин",
                                   "Пирацетам",
                                   "Винпоцетин",
                                   "Индапамид",
                                   "Периндоприл",
                                   "Левофлоксацин",
                                   "Фамотидин"};
const char* const kForms[] = {"таб.",          "таб. п/о",        "таб. п/о плен.", "капс.",
                              "р-р д/ин.",     "р-р д/инф.",      "мазь",           "гель д/наруж. прим.",
                              "капли глазн.",  "капли наз.",      "сироп",          "пор. д/приг. р-ра д/приема внутрь",
                              "супп. ректал.", "спрей наз. доз.", "крем",           "гран. д/приг. сусп."};
const char* const kDoses[] = {"5мг",   "10мг",  "20мг",  "25мг",    "50мг",    "100мг",    "200мг",
                              "250мг", "400мг", "500мг", "850мг",   "1000мг",  "0,1%",     "0,05%",
                              "1%",    "2%",    "5%",    "10мг/мл", "40мг/мл", "100мг/5мл"};
const char* const kPacks[] = {"№10", "№14",  "№16",      "№20",       "№28",      "№30",          "№50",
                              "№60", "№100", "фл. 10мл", "фл. 100мл", "туба 30г", "амп. 2мл №10", "амп. 5мл №5"};
struct Maker {
  const char* name;
  const char* country;
};
const Maker kMakers[] = {{"Фармстандарт-Лексредства", "Россия"},
                         {"Озон ООО", "Россия"},
                         {"Верофарм АО", "Россия"},
                         {"Татхимфармпрепараты", "Россия"},
                         {"Биохимик АО", "Россия"},
                         {"Северная звезда ЗАО", "Россия"},
                         {"Канонфарма продакшн", "Россия"},
                         {"Вертекс АО", "Россия"},
                         {"Обновление ПФК", "Россия"},
                         {"Гедеон Рихтер", "Венгрия"},
                         {"КРКА д.д.", "Словения"},
                         {"Тева Фармацевтические Предприятия", "Израиль"},
                         {"Берлин-Хеми АГ", "Германия"},
                         {"Сандоз ГмбХ", "Австрия"},
                         {"Др. Редди'с Лабораторис", "Индия"},
                         {"Ципла Лтд", "Индия"},
                         {"Актавис", "Исландия"},
                         {"Польфарма", "Польша"},
                         {"Плива Хрватска", "Хорватия"},
                         {"Санофи-Авентис", "Франция"},
                         {"Борисовский ЗМП", "Беларусь"},
                         {"Фармак ПАО", "Украина"}};
const char* const kUnits[] = {"уп", "фл", "шт", "туба", "амп"};
const char* const kCertifiers[] = {"ООО «Центр сертификации лекарств»", "ФГБУ «ИМЦЭУАОСМП» Росздравнадзора",
                                   "АНО «Институт качества лекарств»", "ООО «Фармсертификат»"};
const char* const kSupplierWords[] = {
    "Фармлайн", "Медснаб",       "Аптечный двор",  "Вита-Опт",     "Северная звезда", "Протек",        "Катрен",
    "Пульс",    "Гранд Капитал", "Альянс Хелскеа", "Фармкомплект", "Здравсервис",     "Ирвин",         "Надежда-Фарм",
    "Роста",    "Биотэк",        "Морон",          "Медэкспорт",   "Фарм-Центр",      "Липецкфармация"};
const char* const kCompanyKinds[] = {"ООО", "АО", "ЗАО", "ПАО"};
const char* const kCities[] = {"Москва", "Самара", "Казань", "Тверь", "Пермь", "Омск", "Курск", "Ростов-на-Дону"};
const char* const kPharmacies[] = {"Аптека №12 «Здоровье», ул. Садовая, 8", "Аптека №3 «Фармация», пр. Мира, 41",
                                   "Аптечный пункт «Берёзка», ул. Лесная, 2"};

constexpr std::uint32_t kSuppliers = 40;
constexpr std::uint32_t kProducts = 6000;
constexpr std::int32_t kFirstInvoice = 1000001;

struct Product {
  std::string name, maker, country, barcode, unit;
  int vat;        // percent
  long price;     // kopecks, without VAT
  bool vital;     // on the list of vital and essential drugs
  bool imported;  // with a customs declaration
};

struct Supplier {
  std::int32_t id;
  std::string name;
};

std::string Cp(const std::string& utf8) { return platform::Utf8ToCp1251(utf8); }

std::vector<Product> MakeProducts(Random& r) {
  std::vector<Product> out;
  out.reserve(kProducts);
  for (std::uint32_t i = 0; i < kProducts; ++i) {
    const Maker& m = r.Pick(kMakers);
    Product p;
    p.name = Cp(std::string(r.Pick(kSubstances)) + " " + r.Pick(kForms) + " " + r.Pick(kDoses) + " " + r.Pick(kPacks));
    p.maker = Cp(m.name);
    p.country = Cp(m.country);
    p.barcode = "46" + std::to_string(10000000000ull + r.Below(1000000000u) * 10ull + i % 10);
    p.unit = Cp(r.Pick(kUnits));
    p.vat = r.Below(5) == 0 ? 20 : 10;
    // Mostly 30 to 630 roubles, one in ten up to 5,000.
    p.price = r.Below(10) == 0 ? 50000 + static_cast<long>(r.Below(450000)) : 3000 + static_cast<long>(r.Below(60000));
    p.vital = r.Below(3) != 0;
    p.imported = std::string(m.country) != "Россия";
    out.push_back(std::move(p));
  }
  return out;
}

std::vector<Supplier> MakeSuppliers(Random& r) {
  std::vector<Supplier> out;
  for (std::uint32_t i = 0; i < kSuppliers; ++i) {
    const char* word = kSupplierWords[i % (sizeof kSupplierWords / sizeof kSupplierWords[0])];
    std::string name = std::string(r.Pick(kCompanyKinds)) + " «" + word + "»";
    if (i >= sizeof kSupplierWords / sizeof kSupplierWords[0]) name += std::string(" ") + r.Pick(kCities);
    out.push_back(Supplier{static_cast<std::int32_t>(101 + i), Cp(name)});
  }
  return out;
}

// Column positions by name in a column list.
class Columns {
 public:
  explicit Columns(const dbf::TDBFFieldDefs& defs) : defs_(defs) {}
  std::size_t operator[](const char* name) const {
    for (std::size_t i = 0; i < defs_.size(); ++i)
      if (defs_[i].Name == name) return i;
    throw std::logic_error(std::string("no column ") + name);
  }
  std::size_t size() const { return defs_.size(); }

 private:
  const dbf::TDBFFieldDefs& defs_;
};

tables::FieldDefs Level7Defs(const dbf::TDBFFieldDefs& columns) {
  tables::FieldDefs defs;
  for (const dbf::TDBFField& c : columns) {
    switch (c.FieldType) {
      case 'C': defs.Add(c.Name, tables::FieldType::kString, c.Length); break;
      case 'N': defs.Add(c.Name, c.Decimals == 0 ? tables::FieldType::kInteger : tables::FieldType::kFloat); break;
      case 'D': defs.Add(c.Name, tables::FieldType::kDate); break;
      case 'L': defs.Add(c.Name, tables::FieldType::kBoolean); break;
      default: throw std::logic_error("column type without a level 7 form: " + c.Name);
    }
  }
  return defs;
}

// Writes a table's records straight into the file in large blocks, each field encoded by the
// engine's own codec: a million appends through the engine would take minutes.
class TableWriter {
 public:
  TableWriter(const std::string& path, const dbf::TDBFFieldDefs& columns, int level) : path_(path) {
    if (level == 7) {
      tables::CreateTable(path, Level7Defs(columns));
    } else if (!dbf::CreateDBFFile(path, 4, 0xC9, columns)) {
      throw std::runtime_error("cannot create " + platform::SystemPath(path));
    }
    layout_ = tables::TableFile::Open(path, tables::TableFile::Access::kRead)->layout();
    file_ = platform::OpenFile(path, platform::FileMode::kReadWrite);
    at_ = layout_.header_length;
    record_.resize(layout_.record_length);
  }

  void Add(const Row& row) {
    std::fill(record_.begin(), record_.end(), ' ');
    std::string why;
    for (std::size_t i = 0; i < layout_.fields.size(); ++i) {
      if (!tables::EncodeCell(layout_, layout_.fields[i], row[i], format_, record_.data(), nullptr, &why))
        throw std::runtime_error("cannot store a value in " + layout_.fields[i].name + ": " +
                                 platform::Cp1251ToUtf8(why));
    }
    block_.insert(block_.end(), record_.begin(), record_.end());
    ++count_;
    if (block_.size() >= (8u << 20)) Flush();
  }

  void Finish() {
    block_.push_back(0x1A);
    Flush();
    file_->Truncate(at_);
    unsigned char count[4];
    for (int i = 0; i < 4; ++i) count[i] = static_cast<unsigned char>(count_ >> (8 * i));
    file_->WriteAt(4, count, 4);
    file_.reset();
  }

 private:
  void Flush() {
    file_->WriteAt(at_, block_.data(), block_.size());
    at_ += block_.size();
    block_.clear();
  }

  std::string path_;
  tables::TableLayout layout_;
  std::unique_ptr<platform::File> file_;
  platform::RegionalFormat format_{',', "dd.MM.yyyy"};
  std::vector<char> record_;
  std::vector<char> block_;
  std::uint64_t at_ = 0;
  std::uint32_t count_ = 0;
};

std::string Clock(Random& r) {
  const std::uint32_t h = 8 + r.Below(11), m = r.Below(60);
  return (h < 10 ? "0" : "") + std::to_string(h) + ":" + (m < 10 ? "0" : "") + std::to_string(m);
}

Cell Money(long kopecks) { return Cell::Number(static_cast<double>(kopecks) / 100.0); }
Cell Int(std::int64_t v) { return Cell::Number(static_cast<double>(v)); }

std::string SettingsText(const std::string& export_directory) {
  return "[EPD]\r\nbExportEPD=1\r\nExport_Dir=" + export_directory +
         "\r\nbDOScoding=0\r\nlavel=5\r\nsinglefile=0\r\nbAutoExportEPD=1\r\nmanyfiles=0\r\nseller=0\r\n"
         "charlength=8\r\n[Settings]\r\nbchangecncode=0\r\n" +
         sample::MappingSections();
}

void MakeDirectories(const std::string& base) {
  for (const char* dir : {"ORDERS", "ORDERS\\EPD", "DATA", "Price"})
    if (!platform::DirectoryExists(base + dir)) platform::MakeDirectory(base + dir);
}

}  // namespace

std::string Describe(const HostShape& shape) {
  return "lines=" + std::to_string(shape.lines) + " mean_lines=" + std::to_string(shape.mean_lines) +
         " seed=" + std::to_string(shape.seed) + " level=" + std::to_string(shape.level) +
         " waiting=" + std::to_string(shape.waiting) + " format=3";
}

HostFacts GenerateHost(const std::string& base, const HostShape& shape, const std::string& export_directory) {
  if (shape.mean_lines == 0 || shape.lines == 0) throw std::invalid_argument("a host needs lines");
  MakeDirectories(base);
  Random r(shape.seed);
  const std::vector<Product> products = MakeProducts(r);
  const std::vector<Supplier> suppliers = MakeSuppliers(r);
  const Columns hc(sample::HeaderColumns());
  const Columns lc(sample::LineColumns());

  // How many lines each invoice has: 1 to 2 * mean - 1, about `mean` on average; the invoice in
  // the middle has exactly `mean`; the last one is cut so that the total is exact.
  std::vector<std::uint32_t> sizes;
  for (std::uint32_t total = 0; total < shape.lines;) {
    std::uint32_t n = 1 + r.Below(shape.mean_lines) + r.Below(shape.mean_lines);
    if (n > 1) --n;
    n = std::min(n, shape.lines - total);
    sizes.push_back(n);
    total += n;
  }
  HostFacts facts;
  facts.invoices = static_cast<std::uint32_t>(sizes.size());
  facts.lines = shape.lines;
  const std::size_t probe = sizes.size() / 2;
  if (sizes.size() > 1 && sizes[probe] != shape.mean_lines) {
    // Move lines between the middle invoice and its successor, keeping the total.
    const std::uint32_t pair = sizes[probe] + sizes[probe + 1];
    if (pair > shape.mean_lines) {
      sizes[probe] = shape.mean_lines;
      sizes[probe + 1] = pair - shape.mean_lines;
    }
  }
  facts.probe_invoice = kFirstInvoice + static_cast<std::int32_t>(probe);
  facts.probe_lines = sizes[probe];
  const std::size_t first_waiting = sizes.size() - std::min<std::size_t>(shape.waiting, sizes.size());

  const std::string epd = base + "ORDERS\\EPD\\";
  TableWriter headers(epd + "cat_epd.dbf", sample::HeaderColumns(), shape.level);
  TableWriter lines(epd + "body_epd.dbf", sample::LineColumns(), shape.level);
  TableWriter new_headers(epd + "epdct.dbf", sample::HeaderColumns(), shape.level);
  TableWriter new_lines(epd + "epdbd.dbf", sample::LineColumns(), shape.level);

  // Invoices arrive over the years, a few dozen a day; the newest are the waiting ones.
  const std::int64_t first_day = tables::DaysFromCivil(2019, 1, 9);
  Row line(lc.size());
  Row header(hc.size());
  for (std::size_t k = 0; k < sizes.size(); ++k) {
    const std::int32_t id = kFirstInvoice + static_cast<std::int32_t>(k);
    const bool waiting = k >= first_waiting;
    const std::int64_t day = first_day + static_cast<std::int64_t>(k) * 2000 / static_cast<std::int64_t>(sizes.size());
    const Supplier& supplier = suppliers[r.Below(kSuppliers)];
    long net = 0, vat10 = 0, vat20 = 0, total10 = 0, total20 = 0;
    for (std::uint32_t i = 0; i < sizes[k]; ++i) {
      const std::uint32_t product_index = r.Below(kProducts);
      const Product& p = products[product_index];
      const long quantity = 1 + static_cast<long>(r.Below(r.Below(10) == 0 ? 60 : 12));
      const long vat = (p.price * p.vat + 50) / 100;
      const long gross = p.price + vat;
      net += p.price * quantity;
      (p.vat == 10 ? vat10 : vat20) += vat * quantity;
      (p.vat == 10 ? total10 : total20) += gross * quantity;
      const std::int64_t made = day - 60 - r.Below(400);
      const std::string series =
          std::string(1, static_cast<char>('A' + r.Below(26))) + std::to_string(1000 + r.Below(90000));
      std::fill(line.begin(), line.end(), Cell::Null());
      line[lc["IDMSG"]] = Int(id);
      line[lc["MSGNUM"]] = Int(id % 100000000);
      line[lc["ITEMID"]] = Cell::Text(p.name);
      line[lc["FIRMID"]] = Cell::Text(p.maker);
      line[lc["LANDID"]] = Cell::Text(p.country);
      line[lc["LOCALCOD"]] =
          Cell::Text(std::to_string(supplier.id * 100000 + static_cast<std::int32_t>(product_index)));
      line[lc["BARCOD"]] = Cell::Text(p.barcode);
      line[lc["ITEMQTY"]] = Int(quantity);
      line[lc["ITEMUNIT"]] = Cell::Text(p.unit);
      line[lc["CATPRNV"]] = Money(p.price);
      line[lc["PRODPRNV"]] = Money(p.price * 88 / 100);
      line[lc["CATVAT"]] = Money(vat);
      line[lc["CATTOT"]] = Money(gross);
      line[lc["VAT"]] = Int(p.vat);
      line[lc["SUMRECNVT"]] = Money(p.price * quantity);
      line[lc["SUMRECTOT"]] = Money(gross * quantity);
      line[lc["SERIES"]] = Cell::Text(series);
      line[lc["PRODDT"]] = Cell::Date(made);
      line[lc["USEBEFOR"]] = Cell::Date(made + 365 * (2 + r.Below(4)));
      if (p.vital) line[lc["REGPRDT"]] = Cell::Date(made - r.Below(1000));
      line[lc["SERDLVDT"]] = Cell::Date(day - 5);
      line[lc["SEROVRDT"]] = Cell::Date(made + 365 * 3);
      line[lc["SERNUMID"]] = Cell::Text(Cp("РОСС RU.ФМ01.Д") + std::to_string(10000 + r.Below(90000)));
      line[lc["SERORG"]] = Cell::Text(Cp(r.Pick(kCertifiers)));
      line[lc["GNVLS"]] = Cell::Bool(p.vital);
      if (p.imported)
        line[lc["GCHDN"]] = Cell::Text("10130010/" + std::to_string(100000 + r.Below(900000)) + "/" +
                                       std::to_string(1000000 + r.Below(9000000)));
      if (p.vital) line[lc["REGPR"]] = Money(p.price * 105 / 100);
      if (p.imported) line[lc["IMPPRUP"]] = Money(500 + r.Below(1000));
      line[lc["WHLPRUP"]] = Money(800 + r.Below(1200));
      line[lc["CLPRUP"]] = Money(1500 + r.Below(2000));
      line[lc["CLPRICE"]] = Money(gross * 125 / 100);
      line[lc["ALTCOD"]] = Cell::Text(std::to_string(500000 + product_index));
      line[lc["IDWARE"]] = Int(880000 + product_index);
      line[lc["WHLLNKCNT"]] = Int(1);
      line[lc["WHLLNKPRMS"]] = Cell::Text(std::to_string(8 + r.Below(20)));
      lines.Add(line);
      if (waiting) new_lines.Add(line);
    }
    const std::string number = Cp(r.Below(2) ? "РН-" : "СФ-") + std::to_string(id % 1000000) + "/" +
                               std::to_string(19 + static_cast<int>((day - first_day) / 365));
    std::fill(header.begin(), header.end(), Cell::Null());
    header[hc["IDMSG"]] = Int(id);
    header[hc["MSGNUM"]] = Int(id % 100000000);
    header[hc["BRECQ"]] = Int(sizes[k]);
    header[hc["MSGD"]] = Cell::Date(day);
    header[hc["MSGT"]] = Cell::Text(Clock(r));
    header[hc["DEMCHN"]] = Int(2);
    header[hc["DEMD"]] = Cell::Date(day - 1 - r.Below(5));
    header[hc["DEMT"]] = Cell::Text(Clock(r));
    header[hc["OBTNAM"]] = Cell::Text(Cp(r.Pick(kPharmacies)));
    header[hc["CMCOD"]] = Int(5501);
    header[hc["CATTYP"]] = Cell::Text(!waiting && r.Below(50) == 0 && k != probe ? "DR" : "OR");
    header[hc["BOXQTY"]] = Int(1 + sizes[k] / 4);
    header[hc["PAYDT"]] = Cell::Date(day + 30);
    header[hc["DLVD"]] = Cell::Date(day);
    header[hc["DLVT"]] = Cell::Text(Clock(r));
    header[hc["SUMNVT"]] = Money(net);
    header[hc["SUMTOT"]] = Money(total10 + total20);
    header[hc["SUMVAT"]] = Money(vat10 + vat20);
    header[hc["CSUM0"]] = Money(0);
    header[hc["CSUM10"]] = Money(total10);
    header[hc["CSUM20"]] = Money(total20);
    header[hc["SUM10"]] = Money(vat10);
    header[hc["SUM20"]] = Money(vat20);
    header[hc["INVNUM"]] = Cell::Text(number);
    header[hc["INVDT"]] = Cell::Date(day);
    header[hc["BILLNUM"]] = Cell::Text(number);
    header[hc["BILLDT"]] = Cell::Date(day);
    header[hc["ACCNUM"]] = Cell::Text(Cp("С-") + number);
    header[hc["ACCDT"]] = Cell::Date(day);
    header[hc["IDSENDER"]] = Int(supplier.id);
    header[hc["SENDER"]] = Cell::Text(supplier.name);
    header[hc["IDORDERCL"]] = Int(id - 900000);
    header[hc["DATE_RCV"]] = Cell::Date(day);
    header[hc["TIME_RCV"]] = Cell::Text(Clock(r));
    header[hc["DLVCHN"]] = Int(waiting ? 0 : 1);
    headers.Add(header);
    if (waiting) {
      new_headers.Add(header);
      facts.waiting.push_back(id);
      facts.waiting_lines += sizes[k];
    }
  }
  headers.Finish();
  lines.Finish();
  new_headers.Finish();
  new_lines.Finish();

  {
    const dbf::TDBFFieldDefs seller_columns = {{"IDSELLER", 'N', 10, 0}, {"SELLER", 'C', 50, 0}};
    TableWriter sellers(base + "Price\\Sellers.dbf", seller_columns, 3);
    for (const Supplier& s : suppliers) sellers.Add({Int(s.id), Cell::Text(s.name)});
    sellers.Finish();
  }
  const std::string settings = SettingsText(export_directory);
  platform::OpenFile(base + "DATA\\export_epd.ini", platform::FileMode::kCreate)
      ->WriteAt(0, settings.data(), settings.size());
  return facts;
}

}  // namespace epd::bench
