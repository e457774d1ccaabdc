#pragma once
// JSON text for the page's script, written in order, as page_report.h and page_dictionary.h tell it.

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

namespace page {

// JSON text, written in order: each value after a separator when one came before it in its object or array.
class Json {
 public:
  Json& Begin(char bracket) {
    Separate();
    text_ += bracket;
    first_ = true;
    return *this;
  }
  Json& End(char bracket) {
    text_ += bracket;
    first_ = false;
    return *this;
  }
  Json& Name(std::string_view name) {
    String(name);
    text_ += ':';
    first_ = true;
    return *this;
  }
  // Bytes of 0x80 and above go as they are: the script reads the text as UTF-8.
  Json& String(std::string_view value) {
    Separate();
    text_ += '"';
    for (const char c : value) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        text_ += '\\';
        text_ += c;
      } else if (byte < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
        text_ += escaped;
      } else {
        text_ += c;
      }
    }
    text_ += '"';
    return *this;
  }
  Json& Number(double value) {
    Separate();
    char number[32];
    std::snprintf(number, sizeof number, "%.9g", value);
    text_ += number;
    return *this;
  }
  Json& Bool(bool value) {
    Separate();
    text_ += value ? "true" : "false";
    return *this;
  }
  std::string Text() && { return std::move(text_); }

 private:
  void Separate() {
    if (!first_) text_ += ',';
    first_ = false;
  }
  std::string text_;
  bool first_ = true;
};

}  // namespace page
