#include "export/output_files.h"

#include "platform/codepage.h"

namespace epd::exporter {

OutputNames OutputFileNames(std::int32_t id_msg, bool singlefile, bool manyfiles, std::uint8_t charlength) {
  const std::string n = std::to_string(id_msg);
  if (singlefile) {
    std::string name = "Nakl.dbf";
    if (manyfiles) name = (n.size() > charlength ? n.substr(n.size() - charlength) : n) + ".dbf";
    return {name, name};
  }
  if (manyfiles) return {"h" + n + ".dbf", "b" + n + ".dbf"};
  return {"cat_epd.dbf", "body_epd.dbf"};
}

bool IsPlainFolderName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  // Windows drops dots and blanks at the end of a name ("...", ". ." and "x." are not what they
  // say): only names that stay as they are.
  if (name.back() == '.' || name.back() == ' ') return false;
  // Windows takes these names, with any extension, for devices rather than folders.
  const std::string stem = platform::UpperCp1251(name.substr(0, name.find('.')));
  for (const char* device : {"CON", "PRN", "AUX", "NUL"})
    if (stem == device) return false;
  if (stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' && stem[3] <= '9')
    return false;
  for (char ch : name) {
    auto c = static_cast<unsigned char>(ch);
    if (c < 0x20) return false;
    switch (c) {
      case '\\':
      case '/':
      case ':':
      case '*':
      case '?':
      case '"':
      case '<':
      case '>':
      case '|': return false;
      default: break;
    }
  }
  return true;
}

bool IsPlainColumnName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= 0x80 && platform::UpperCp1251(ch) != platform::LowerCp1251(ch));
    if (!letter && !(c >= '0' && c <= '9') && c != '_') return false;
  }
  return true;
}

}  // namespace epd::exporter
