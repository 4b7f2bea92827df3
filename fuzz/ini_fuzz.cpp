// The INI service over any bytes: every read, and an in-place write whose result must read back
// the written value while every other key keeps its value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ini_file.h"
#include "platform/test_support.h"

using epd::platform::IniFile;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static epd::testing_support::TempDir dir;
  const std::string path = dir.path() + "export_epd.ini";
  std::string content(reinterpret_cast<const char*>(data), size);
  epd::testing_support::WriteFile(path, content);

  IniFile before(path);
  const char* sections[] = {"EPD", "Settings", "IDMSG", "epd", "A"};
  const char* keys[] = {"bExportEPD", "lavel", "name", "k", "charlength"};
  std::string old_values[5][5];
  for (int s = 0; s < 5; ++s)
    for (int k = 0; k < 5; ++k) old_values[s][k] = before.ReadString(sections[s], keys[k], "\x01");

  std::string value = size > 0 ? std::string(content, 0, size % 7) : "v";
  IniFile writer(path);
  writer.WriteString("EPD", "lavel", value);
  IniFile after(path);
  std::string clean = value;
  for (char& c : clean)
    if (c == '\r' || c == '\n') c = ' ';
  // Values are read trimmed of blanks.
  std::size_t b = clean.find_first_not_of(" \t"), e = clean.find_last_not_of(" \t");
  clean = b == std::string::npos ? std::string() : clean.substr(b, e - b + 1);
  if (after.ReadString("EPD", "lavel", "\x01") != clean) std::abort();
  for (int s = 0; s < 5; ++s)
    for (int k = 0; k < 5; ++k) {
      bool written = (s == 0 || s == 3) && k == 1;
      if (!written && after.ReadString(sections[s], keys[k], "\x01") != old_values[s][k]) std::abort();
    }
  return 0;
}
