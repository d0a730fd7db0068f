#include "json.h"

#include <cstdio>

namespace rbtool {

std::string json_escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char code[8];
          std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(c));
          out += code;
        } else {
          out += c;
        }
    }
  }
  return out;
}

void Json::separate() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!first_) text_ += ',';
  first_ = false;
}

Json& Json::begin_object() {
  separate();
  text_ += '{';
  first_ = true;
  return *this;
}

Json& Json::end_object() {
  text_ += '}';
  first_ = false;
  return *this;
}

Json& Json::begin_array() {
  separate();
  text_ += '[';
  first_ = true;
  return *this;
}

Json& Json::end_array() {
  text_ += ']';
  first_ = false;
  return *this;
}

Json& Json::key(std::string_view name) {
  separate();
  text_ += '"';
  text_ += json_escaped(name);
  text_ += "\":";
  after_key_ = true;
  return *this;
}

Json& Json::value(std::string_view text) {
  separate();
  text_ += '"';
  text_ += json_escaped(text);
  text_ += '"';
  return *this;
}

Json& Json::value(std::int64_t number) {
  separate();
  text_ += std::to_string(number);
  return *this;
}

Json& Json::value(bool flag) {
  separate();
  text_ += flag ? "true" : "false";
  return *this;
}

Json& Json::null() {
  separate();
  text_ += "null";
  return *this;
}

}  // namespace rbtool
