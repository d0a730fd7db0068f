// Where a command's result goes: standard output or a file named with -o,
// written through a large buffer, with every failed write noticed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace rbtool {

// An output stream: standard output, or a file ("-" names standard output).
class Output {
 public:
  Output() = default;
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Opens path for writing (binary when binary is true); false, with the
  // reason in error, when it cannot be created.
  bool open(const std::string& path, bool binary, std::string& error);
  std::FILE* get() const { return stream_; }
  const std::string& name() const { return name_; }

  // Flushes and closes the file (flushes standard output); false, with the
  // reason in error, when any byte did not reach it.
  bool close(std::string& error);

 private:
  std::FILE* stream_ = nullptr;
  std::string name_;
  bool owned_ = false;
};

// Text gathered in a large buffer and handed to a stream with fwrite.
// After the first failed write nothing more is written: failed() says so.
class TextBuffer {
 public:
  explicit TextBuffer(std::FILE* out, std::size_t capacity = 1 << 20);
  ~TextBuffer() { flush(); }
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;

  void put(char c) {
    if (used_ == buffer_.size()) flush();
    buffer_[used_++] = c;
  }
  void put(std::string_view text);
  void put_int(std::int64_t value);
  // Two lower-case hexadecimal digits per byte, no separator.
  void put_hex(const unsigned char* data, std::size_t length);
  // value as width hexadecimal digits, zero-padded.
  void put_hex_width(std::uint32_t value, int width);
  // The hex dump rows of a record: offset, 16 bytes, printable characters.
  void put_hex_rows(const unsigned char* data, std::size_t length);

  // Hands the buffer to the stream; false once a write has failed.
  bool flush();
  bool failed() const { return failed_; }

 private:
  // Room for n more bytes, flushing first when needed.
  char* room(std::size_t n);

  std::FILE* out_;
  std::string buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

// The text of errno, for messages.
std::string system_error_text();

}  // namespace rbtool
