#include "export/record_transfer.h"

#include <string>

#include "platform/codepage.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace epd::exporter {
namespace {

// The supplier's substitute for the line's product code. A lookup may store a new code even
// where the output then refuses it.
void WriteSubstituteCode(const config::MappedField& field, tables::Table& output, const tables::RowReader& source,
                         const TransferContext& context) {
  const std::string code = source.AsString("LocalCod");
  const std::int32_t supplier = context.header.AsInteger("idSender");
  std::int32_t substitute = 0;
  try {
    substitute = context.codes.GetTempCode(supplier, code);
  } catch (const std::exception& e) {
    throw CodeSubstitutionError("Не удалось получить код замены для кода "_cp + code + " поставщика "_cp +
                                    std::to_string(supplier) + ": " + e.what(),
                                context.codes.data_directory() + suppliers::kCodeTableFile);
  }
  if (substitute == -1) {
    // Only a row stored by hand can hold -1: the user has to see that the code was not replaced.
    platform::ShowError("Ошибка генерации кода замены для поставщика "_cp + context.header.AsString("Sender") +
                        " для кода "_cp + code);
    return;
  }
  output.SetAsString(field.column, std::to_string(substitute));
}

}  // namespace

std::vector<BoundField> BindFields(const std::vector<config::MappedField>& fields, const tables::RowReader& source,
                                   const tables::Table& output) {
  std::vector<BoundField> bound;
  bound.reserve(fields.size());
  for (const config::MappedField& f : fields) {
    BoundField b{&f, -1, -1,
                 f.key == "LOCALCOD" ? BoundField::Kind::kLocalCode
                 : f.key == "GNVLS"  ? BoundField::Kind::kGnvls
                                     : BoundField::Kind::kText};
    if (!f.column.empty()) {
      b.source = source.FieldIndex(f.key);
      b.output = output.FieldIndex(f.column);
    }
    bound.push_back(b);
  }
  return bound;
}

void TransferField(const BoundField& field, tables::Table& output, const tables::RowReader& source,
                   const TransferContext& context) {
  const config::MappedField& mapping = *field.mapping;
  if (mapping.column.empty()) return;
  try {
    if (field.kind == BoundField::Kind::kLocalCode && context.replace_codes)
      return WriteSubstituteCode(mapping, output, source, context);  // looked up by names, as ever
    if (field.source < 0 || field.output < 0) return;                // the read or the write would fail
    if (field.kind == BoundField::Kind::kGnvls)
      output.SetAsStringAt(field.output, source.AsBooleanAt(field.source) ? "1" : "0");
    else  // the text of the source column through ConvertCoding, which the engine does itself
      output.SetFromAt(field.output, source, field.source, context.dos_coding);
  } catch (const CodeSubstitutionError&) {
    throw;
  } catch (...) {
    // A field that cannot be read or written is left blank; the record goes on.
  }
}

std::string ConvertCoding(std::string text, bool dos_coding) {
  if (!dos_coding) return text;
  return platform::Cp1251ToCp866(text);
}

}  // namespace epd::exporter
