#include "messages.h"

#include <array>

#include "frame/messages.h"

namespace rbtool {

namespace {

struct CodeText {
  std::int32_t code;
  const char* text;
};

// What a code means, in the tool's words.
constexpr std::array kMeanings{
    CodeText{-1, "the file has no open stream"},
    CodeText{-4, "the library is not initialised"},
    CodeText{-5, "the library is not initialised"},
    CodeText{-6, "no file is open under that number"},
    CodeText{-11, "the file cannot be opened"},
    CodeText{-12, "a position in the file is out of reach"},
    CodeText{-13, "a write to the file failed"},
    CodeText{-14, "the file cannot be read"},
    CodeText{-17, "the device did not take a sync"},
    CodeText{-18, "another writer holds the file"},
    CodeText{-19, "the journal beside the file cannot be rolled back"},
    CodeText{-20, "a read ends beyond the end of the file"},
    CodeText{-30, "the file has no IndDataTypes vector"},
    CodeText{-31, "the file has no IndSections vector"},
    CodeText{-50, "no such data type"},
    CodeText{-51, "the data type lacks the vector its flags call for"},
    CodeText{-52, "the record lies beyond the area of its data type"},
    CodeText{-53, "the record was never written"},
    CodeText{-55, "the file was never closed after writing"},
    CodeText{-70, "no cache block is free"},
    CodeText{-90, "a number names nothing in the file"},
    CodeText{-100, "the file is damaged or truncated"},
    CodeText{-101, "not a database file of this format"},
    CodeText{-102, "the file is write locked"},
    CodeText{-111, "the section has no buckets or no current key"},
    CodeText{-112, "no such section"},
    CodeText{-3404, "no such section"},
    CodeText{-9002, "no such data type"},
    CodeText{-9003, "no such section"},
};

}  // namespace

const char* error_message(std::int32_t code) { return rb::error_text(code); }

const char* code_meaning(std::int32_t code) {
  for (const CodeText& entry : kMeanings) {
    if (entry.code == code) return entry.text;
  }
  if (code <= -1001) return "the library ran out of memory or file slots";
  return "the library refused the request";
}

std::string library_text(const char* function, std::int32_t code) {
  const std::string head = std::string(function) + " " + std::to_string(code);
  // The generic message would read as a fault of the library.
  if (error_message(code) == error_message(1)) return head;
  return head + ": " + error_message(code);
}

std::string library_failure(const char* function, std::int32_t code) {
  return std::string(function) + " failed: " + code_meaning(code) + " (" + std::to_string(code) +
         " " + error_message(code) + ")";
}

std::string library_failure(const std::string& what, const char* function, std::int32_t code) {
  return what + ": " + code_meaning(code) + " (" + library_text(function, code) + ")";
}

}  // namespace rbtool
