#pragma once

#include <stdexcept>
#include <string>

namespace epd {

// The one error type raised inside the library. Its message is code page 1251 text written for
// the user: it names the file, the column and the value involved. Nothing raises past an
// exported function; the boundary turns an Error into a message box or a result.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace epd
