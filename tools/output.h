// Where a command's result goes: standard output or a file named with -o,
// written through a large buffer, with every failed write noticed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace rbtool {

// An output stream: standard output, or a file ("-" names standard output).
// A failed write is remembered with its reason, and close reports it.
class Output {
 public:
  Output() = default;
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Opens path for writing (binary when binary is true: on Windows, line
  // ends are written as they are, standard output included); false, with
  // the reason in error, when it cannot be created.
  bool open(const std::string& path, bool binary, std::string& error);
  std::FILE* get() const { return stream_; }
  const std::string& name() const { return name_; }

  // Hands bytes to the stream; false once any write has failed, after
  // which nothing more is written.
  bool write(std::string_view bytes);
  bool failed() const { return failure_ >= 0; }

  // Flushes and closes the file (flushes standard output); false, with
  // "cannot write NAME: why" in error, when any byte did not reach it.
  bool close(std::string& error);

 private:
  std::FILE* stream_ = nullptr;
  std::string name_;
  bool owned_ = false;
  int failure_ = -1;        // errno of the first failed write, -1 for none
  int previous_mode_ = -1;  // Windows: the mode standard output had before
};

// Writes text to standard output and flushes it; false, with "cannot write
// to standard output: why" in error, when a byte did not reach it.
bool print_text(std::string_view text, std::string& error);

// Flushes and closes standard output at the end of the program; false, with
// "cannot write to standard output: why" in error, when a byte did not
// reach it.
bool close_standard_output(std::string& error);

// Text gathered in a large buffer and handed to an output in large writes.
// After the first failed write nothing more is written: failed() says so.
class TextBuffer {
 public:
  explicit TextBuffer(Output& out, std::size_t capacity = 1 << 20);
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

  // Hands the buffer to the output; false once a write has failed.
  bool flush();
  bool failed() const { return out_.failed(); }
  // Flushes the buffer and closes the output (Output::close).
  bool close(std::string& error) {
    flush();
    return out_.close(error);
  }

 private:
  // Room for n more bytes, flushing first when needed.
  char* room(std::size_t n);

  Output& out_;
  std::string buffer_;
  std::size_t used_ = 0;
};

}  // namespace rbtool
