#include "config/host_folders.h"

#include "platform/files.h"
#include "platform/text.h"

namespace epd::config {
namespace {

std::string HostFolder(const std::string& base_directory) { return base_directory + std::string(kHostTableFolder); }

// The folder a path lies in, without its closing backslash ("" for a bare name).
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string WithoutClosingBackslash(std::string path) {
  while (path.size() > 1 && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace

std::optional<std::string> WhyNotAnExportDirectory(const std::string& directory, const std::string& base_directory) {
  if (directory.empty() || base_directory.empty()) return std::nullopt;
  const std::string host = WithoutClosingBackslash(HostFolder(base_directory));
  if (!platform::SameFile(WithoutClosingBackslash(directory), host)) return std::nullopt;
  return "Папка экспорта "_cp + directory + " — это папка накладных самой программы ("_cp + host +
         "): файлы экспорта записывались бы в её собственные таблицы. Укажите другую папку экспорта."_cp;
}

std::optional<std::string> WhyNotAnOutputFile(const std::string& path, const std::string& base_directory) {
  if (base_directory.empty()) return std::nullopt;
  const std::string host = HostFolder(base_directory);
  for (std::string_view table : kHostTables) {
    const std::string host_table = host + std::string(table);
    if (platform::SameFile(path, host_table))
      return "Файл экспорта "_cp + path + " — это таблица накладных самой программы ("_cp + host_table +
             "); экспорт в него запрещён. Укажите другую папку экспорта."_cp;
  }
  const std::string folder = FolderOf(path);
  if (!folder.empty() && platform::SameFile(folder, WithoutClosingBackslash(host)))
    return "Файл экспорта "_cp + path + " лежит в папке накладных самой программы ("_cp +
           WithoutClosingBackslash(host) + "); экспорт в неё запрещён. Укажите другую папку экспорта."_cp;
  return std::nullopt;
}

}  // namespace epd::config
