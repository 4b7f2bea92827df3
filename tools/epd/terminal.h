#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// The console as the tool sees it: UTF-8 in and out on every system.
namespace epd::tool {

// Windows: switches the console's output to UTF-8. Elsewhere nothing to do.
void PrepareConsole();

// The command line in UTF-8 (Windows: taken from the wide command line, whatever the ANSI code
// page).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

bool IsTerminal(std::FILE* stream);

// Standard output takes bytes as written (Windows: no "\n" to "\r\n" translation).
void BinaryStdout();

// Asks on the terminal; the answer line, or nothing when no one can answer.
std::optional<std::string> AskTerminal(const std::string& prompt);

}  // namespace epd::tool
