#pragma once

#include <array>
#include <span>
#include <string_view>

#include "platform/text.h"

// The field catalogue: the fixed, ordered list of the 73 logical fields the library can export,
// 36 invoice header fields (positions 0..35, read from cat_epd.dbf) followed by 37 invoice line
// fields (positions 36..72, read from body_epd.dbf). A field's key is at once the name of its
// mapping section in export_epd.ini and the name of the host column its value comes from.
// Positions 36 and 37 repeat IDMSG and MSGNUM, so header and line share those two mappings.
//
// Everything that walks the fields derives from this one table: the output structure builder
// and the record transfer take catalogue order, the mapping editors their own row and save
// orders.
namespace epd::config {

enum class FieldTable { kHeader, kLine };

// The type words a mapping editor row offers.
enum class TypeList { kNumeric, kDate, kText, kGnvls, kCurSign, kAltCod, kIdWare };

struct CatalogueField {
  int position;
  std::string_view key;          // section and host column, upper case: "INVDT"
  std::string_view editor_form;  // how the editors spell the section: "InvDt"
  FieldTable table;
  int editor_row;            // row in its editor, from 1 at the top
  std::string_view caption;  // code page 1251
  TypeList types;
  std::string_view control_stem;  // row control names: stem + "Nam", "Len", "Type"
};

inline constexpr int kHeaderFieldCount = 36;
inline constexpr int kLineFieldCount = 37;
inline constexpr int kFieldCount = kHeaderFieldCount + kLineFieldCount;
inline constexpr int kFirstLinePosition = kHeaderFieldCount;

// The type words of the mapping, compared exactly.
inline constexpr std::string_view kTypeNone = "нет"_cp;
inline constexpr std::string_view kTypeString = "ftString";
inline constexpr std::string_view kTypeInteger = "ftInteger";
inline constexpr std::string_view kTypeFloat = "ftFloat";
inline constexpr std::string_view kTypeDate = "ftDate";
inline constexpr std::string_view kTypeBoolean = "ftBoolean";

inline constexpr std::array<CatalogueField, kFieldCount> kFieldCatalogue = {{
    {0, "IDMSG", "idMsg", FieldTable::kHeader, 1, "Уник №сообщ.канала Kestrel(idMsg):"_cp, TypeList::kNumeric, "idMsg"},
    {1, "MSGNUM", "MsgNum", FieldTable::kHeader, 2, "Уник № сообщ.канала(пост.)(MsgNum):"_cp, TypeList::kNumeric,
     "MsgNum"},
    {2, "BRECQ", "BrecQ", FieldTable::kHeader, 3, "Кол-во записей док.(BrecQ):"_cp, TypeList::kNumeric, "BrecQ"},
    {3, "MSGD", "MsgD", FieldTable::kHeader, 4, "Дата формирования док.(MsgD):"_cp, TypeList::kDate, "MsgD"},
    {4, "MSGT", "MsgT", FieldTable::kHeader, 5, "Время формиров. док.(MsgT):"_cp, TypeList::kText, "MsgT"},
    {5, "DEMCHN", "DemChn", FieldTable::kHeader, 6, "Канал поступления (DemChn):"_cp, TypeList::kNumeric, "DemChn"},
    {6, "DEMD", "DemD", FieldTable::kHeader, 7, "Дата заявки пост.(DemD):"_cp, TypeList::kDate, "DemD"},
    {7, "DEMT", "DemT", FieldTable::kHeader, 8, "Время заявки пост.(DemT):"_cp, TypeList::kText, "DemT"},
    {8, "OBTNAM", "ObtNam", FieldTable::kHeader, 9, "Наимен. получателя (ObtNam):"_cp, TypeList::kText, "ObtNam"},
    {9, "CMCOD", "CMCod", FieldTable::kHeader, 10, "Код получ. по Orvanta (CmCod):"_cp, TypeList::kNumeric, "CmCod"},
    {10, "CATTYP", "CatTyp", FieldTable::kHeader, 11, "Тип поставки (CatTyp):"_cp, TypeList::kNumeric, "CatTyp"},
    {11, "BOXQTY", "BoxQty", FieldTable::kHeader, 12, "Кол-во груз. мест (BoxQty):"_cp, TypeList::kNumeric, "BoxQty"},
    {12, "PAYDT", "PayDt", FieldTable::kHeader, 13, "Дата оплаты (PayDt):"_cp, TypeList::kDate, "PayDt"},
    {13, "DLVD", "DlvD", FieldTable::kHeader, 14, "Дата поставки (DlvD):"_cp, TypeList::kDate, "DlvD"},
    {14, "DLVT", "DlvT", FieldTable::kHeader, 15, "Время поставки (DlvT):"_cp, TypeList::kText, "DlvT"},
    {15, "SUMNVT", "SumNVT", FieldTable::kHeader, 16, "Сумма без НДС (SumNvt):"_cp, TypeList::kNumeric, "SumNVT"},
    {16, "SUMTOT", "SumTot", FieldTable::kHeader, 17, "Сумма с НДС (SumTot):"_cp, TypeList::kNumeric, "SumTot"},
    {17, "SUMVAT", "SumVat", FieldTable::kHeader, 18, "Сумма НДС (SumVat):"_cp, TypeList::kNumeric, "SumVat"},
    {18, "CSUM0", "CSum0", FieldTable::kHeader, 19, "Сумма c НДС  0% (CSum0):"_cp, TypeList::kNumeric, "Csum0"},
    {19, "CSUM10", "CSum10", FieldTable::kHeader, 20, "Сумма c НДС  10% (CSum10):"_cp, TypeList::kNumeric, "Csum10"},
    {20, "CSUM20", "CSum20", FieldTable::kHeader, 21, "Сумма c НДС  18% (CSum20):"_cp, TypeList::kNumeric, "Csum20"},
    {21, "SUM10", "Sum10", FieldTable::kHeader, 22, "Сумма НДС  10% (Sum10):"_cp, TypeList::kNumeric, "Sum10"},
    {22, "SUM20", "Sum20", FieldTable::kHeader, 23, "Сумма НДС  18% (Sum20):"_cp, TypeList::kNumeric, "Sum20"},
    {23, "INVNUM", "InvNum", FieldTable::kHeader, 24, "Номер накладной (InvNum):"_cp, TypeList::kNumeric, "InvNum"},
    {24, "INVDT", "InvDt", FieldTable::kHeader, 25, "Дата накладной (InvDt):"_cp, TypeList::kDate, "InvDt"},
    {25, "BILLNUM", "BillNum", FieldTable::kHeader, 26, "№ счеа-фактуры (BillNum):"_cp, TypeList::kNumeric, "BillNum"},
    {26, "BILLDT", "BillDt", FieldTable::kHeader, 27, "Дата счета-фактуры (BillDt):"_cp, TypeList::kDate, "BillDt"},
    {27, "ACCNUM", "AccNum", FieldTable::kHeader, 28, "№ счета (AccNum):"_cp, TypeList::kNumeric, "AccNum"},
    {28, "ACCDT", "AccDt", FieldTable::kHeader, 29, "Дата счета (AccDt):"_cp, TypeList::kDate, "AccDt"},
    {29, "PCONNUM", "PconNum", FieldTable::kHeader, 30, "№ прот. согл. цен (PConNum):"_cp, TypeList::kNumeric,
     "PconNum"},
    {30, "PCONDT", "PconDt", FieldTable::kHeader, 31, "Дата протокола (PConDt):"_cp, TypeList::kDate, "PconDt"},
    {31, "IDSENDER", "idSender", FieldTable::kHeader, 32, "ID поставщика по Orvanta (idSender):"_cp, TypeList::kNumeric,
     "idSender"},
    {32, "SENDER", "Sender", FieldTable::kHeader, 33, "Наименование поставщика (Sender):"_cp, TypeList::kText,
     "Sender"},
    {33, "IDORDERCL", "idordercl", FieldTable::kHeader, 34, "Код заказа (idOrderCl):"_cp, TypeList::kNumeric,
     "idOrderCl"},
    {34, "DATE_RCV", "date_rcv", FieldTable::kHeader, 35, "Дата приема накл. (date_rcv):"_cp, TypeList::kDate,
     "Date_rcv"},
    {35, "TIME_RCV", "time_rcv", FieldTable::kHeader, 36, "Время приема накл.(Time_Rcv):"_cp, TypeList::kText,
     "Time_rcv"},
    {36, "IDMSG", "idMsg", FieldTable::kLine, 1, "Уник № сообщ. канала Kestrel (idMsg):"_cp, TypeList::kNumeric,
     "idMsg"},
    {37, "MSGNUM", "MsgNum", FieldTable::kLine, 2, "Уник № сообщ. канала (пост.) (MsgNum):"_cp, TypeList::kNumeric,
     "MsgNum"},
    {38, "ITEMID", "ItemId", FieldTable::kLine, 3, "Наименование препарата (ItemId):"_cp, TypeList::kText, "ItemId"},
    {39, "FIRMID", "FirmId", FieldTable::kLine, 4, "Производитель (FirmId):"_cp, TypeList::kNumeric, "FirmId"},
    {40, "LANDID", "LandId", FieldTable::kLine, 5, "Страна (LandId):"_cp, TypeList::kNumeric, "LandId"},
    {41, "LOCALCOD", "LocalCod", FieldTable::kLine, 6, "Код препарата (LocalCod):"_cp, TypeList::kNumeric, "LocalCod"},
    {42, "BARCOD", "BarCod", FieldTable::kLine, 7, "Штрих-код препарата (BarCod):"_cp, TypeList::kText, "BarCod"},
    {43, "ITEMQTY", "ItemQty", FieldTable::kLine, 9, "Количество (ItemQty):"_cp, TypeList::kNumeric, "ItemQty"},
    {44, "ITEMUNIT", "ItemUnit", FieldTable::kLine, 10, "Ед. измерения (ItemUnit):"_cp, TypeList::kText, "ItemUnit"},
    {45, "CATPRNV", "CatPrNV", FieldTable::kLine, 11, "Цена пост. без НДС (CatPrNv):"_cp, TypeList::kNumeric,
     "CatPrNv"},
    {46, "PRODPRNV", "ProdPrNV", FieldTable::kLine, 12, "Цена производителя (ProdPrNv):"_cp, TypeList::kNumeric,
     "ProdPrNV"},
    {47, "CATVAT", "CatVat", FieldTable::kLine, 13, "Сумма НДС (CatVat):"_cp, TypeList::kNumeric, "CatVat"},
    {48, "CATTOT", "CatTot", FieldTable::kLine, 14, "Цена с НДС пост. (CatTot):"_cp, TypeList::kNumeric, "CatTot"},
    {49, "VAT", "Vat", FieldTable::kLine, 15, "Ставка НДС (Vat):"_cp, TypeList::kNumeric, "Vat"},
    {50, "SUMRECNVT", "SumRecNvt", FieldTable::kLine, 16, "Сумма без НДС по строке (SumRecNvt):"_cp, TypeList::kNumeric,
     "SumRecNvt"},
    {51, "SUMRECTOT", "SumRecTot", FieldTable::kLine, 17, "Сумма с НДС по строке (SumRecTot):"_cp, TypeList::kNumeric,
     "SumRecTot"},
    {52, "SERIES", "Series", FieldTable::kLine, 18, "Серия (Series):"_cp, TypeList::kText, "Series"},
    {53, "PRODDT", "ProdDt", FieldTable::kLine, 19, "Дата выпуска преп. (ProdDt):"_cp, TypeList::kDate, "ProdDT"},
    {54, "USEBEFOR", "UseBefor", FieldTable::kLine, 20, "Срок годности (UseBefor):"_cp, TypeList::kDate, "UseBefor"},
    {55, "REGPRDT", "RegPrDt", FieldTable::kLine, 24, "Дата регистрации (RegPrDt):"_cp, TypeList::kDate, "RegPrDt"},
    {56, "SERDLVDT", "SerDlvDt", FieldTable::kLine, 25, "Дата сертификата (SelDlvDt):"_cp, TypeList::kDate, "SerDlvDT"},
    {57, "SEROVRDT", "SerOvrDt", FieldTable::kLine, 26, "Дата оконч. сертиф. (SerOvrDt):"_cp, TypeList::kDate,
     "SerOvrDt"},
    {58, "SERNUMID", "SerNumId", FieldTable::kLine, 27, "№ Сертификата (SerNumId):"_cp, TypeList::kNumeric, "SerNumId"},
    {59, "SERORG", "SerOrg", FieldTable::kLine, 28, "Кем серт. выдан (SerOrg):"_cp, TypeList::kText, "SerOrg"},
    {60, "GNVLS", "GNVLS", FieldTable::kLine, 29, "Признак ЖНВЛС (GNVLS):"_cp, TypeList::kGnvls, "GNVLS"},
    {61, "GCHDN", "GCHDN", FieldTable::kLine, 30, "Номер ГТД (GCHDN):"_cp, TypeList::kNumeric, "GCHDN"},
    {62, "REGPR", "RegPr", FieldTable::kLine, 21, "Зарег. рубл. цена (RegPr):"_cp, TypeList::kNumeric, "REgPr"},
    {63, "IMPPRUP", "ImpPrUP", FieldTable::kLine, 31, "Наценка импортера (ImpPrUp):"_cp, TypeList::kNumeric, "ImpPrUp"},
    {64, "WHLPRUP", "WhlPrUp", FieldTable::kLine, 32, "Наценка опт. звена (WhlPrUp):"_cp, TypeList::kNumeric,
     "WhlPrUp"},
    {65, "CLPRUP", "ClPrUp", FieldTable::kLine, 33, "Наценка розн. звен. (ClPrUp):"_cp, TypeList::kNumeric, "ClPrUp"},
    {66, "CLPRICE", "ClPrice", FieldTable::kLine, 34, "Цена розничная. (ClPrice):"_cp, TypeList::kNumeric, "ClPrice"},
    {67, "CURREGPR", "CurRegPr", FieldTable::kLine, 22, "Зарег. валютн. цена (CurRegPr):"_cp, TypeList::kNumeric,
     "CurRegPr"},
    {68, "CURSIGN", "CurSign", FieldTable::kLine, 23, "Валюта зарег. цены (CurSign):"_cp, TypeList::kCurSign,
     "CurSign"},
    {69, "ALTCOD", "AltCod", FieldTable::kLine, 8, "Код ЕГК (AltCod):"_cp, TypeList::kAltCod, "AltCod"},
    {70, "IDWARE", "idWare", FieldTable::kLine, 35, "Код по справочнику Орванта (idWare):"_cp, TypeList::kIdWare,
     "idWare"},
    {71, "WHLLNKCNT", "WhlLnkCnt", FieldTable::kLine, 36, "Кол-во опт. надбавок (WhlLnkCnt):"_cp, TypeList::kNumeric,
     "WhlLnkCnt"},
    {72, "WHLLNKPRMS", "WhlLnkPrms", FieldTable::kLine, 37, "Значения опт. надбавок (WhlLnkPrms):"_cp,
     TypeList::kNumeric, "WhlLnkPrms"},
}};

// The order in which the line editor loads and saves its rows (catalogue positions). The header
// editor uses catalogue order.
inline constexpr std::array<int, kLineFieldCount> kLineEditorOrder = {
    36, 37, 38, 39, 40, 41, 42, 69, 43, 44, 45, 46, 47, 48, 49, 52, 53, 54, 62,
    55, 56, 57, 58, 59, 60, 61, 63, 64, 65, 66, 50, 51, 67, 68, 70, 71, 72};

// The type words offered by a row's list, in their order (the GNVLS list ends with an empty entry).
std::span<const std::string_view> OfferedTypes(TypeList list);

// Output kinds: 1 header fields, 2 line fields, 3 all fields.
struct PositionRange {
  int first;
  int last;  // inclusive
};
PositionRange PositionsOfKind(int kind);

inline std::span<const CatalogueField> HeaderFields() {
  return std::span(kFieldCatalogue).subspan(0, kHeaderFieldCount);
}
inline std::span<const CatalogueField> LineFields() {
  return std::span(kFieldCatalogue).subspan(kFirstLinePosition, kLineFieldCount);
}

}  // namespace epd::config
