// A small writer of JSON text for the reports of info and check.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rbtool {

class Json {
 public:
  Json& begin_object();
  Json& end_object();
  Json& begin_array();
  Json& end_array();
  // The name of the next member of an object.
  Json& key(std::string_view name);
  Json& value(std::string_view text);
  Json& value(const char* text) { return value(std::string_view(text)); }
  Json& value(const std::string& text) { return value(std::string_view(text)); }
  Json& value(std::int64_t number);
  Json& value(std::int32_t number) { return value(std::int64_t{number}); }
  Json& value(std::size_t number) { return value(static_cast<std::int64_t>(number)); }
  Json& value(bool flag);
  Json& null();

  // A member: key and value.
  template <class T>
  Json& member(std::string_view name, const T& v) {
    return key(name).value(v);
  }

  const std::string& text() const { return text_; }

 private:
  void separate();

  std::string text_;
  bool first_ = true;  // no element yet in the current object or array
  bool after_key_ = false;
};

// text with the characters JSON escapes escaped, without quotes.
std::string json_escaped(std::string_view text);

}  // namespace rbtool
