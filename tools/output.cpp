#include "output.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace rbtool {

namespace {

constexpr char kDigits[] = "0123456789abcdef";

// "00" .. "ff": two characters per byte value.
constexpr std::array<char, 512> kHexPairs = [] {
  std::array<char, 512> pairs{};
  for (int b = 0; b < 256; ++b) {
    pairs[static_cast<std::size_t>(2 * b)] = kDigits[b >> 4];
    pairs[static_cast<std::size_t>(2 * b + 1)] = kDigits[b & 15];
  }
  return pairs;
}();

constexpr std::size_t kRowBytes = 16;
// "  000000  " + 16 x "xx " + " |" + 16 characters + "|\n"
constexpr std::size_t kRowText = 10 + 3 * kRowBytes + 2 + kRowBytes + 2;

// The text of an errno value, for messages.
std::string error_text(int e) { return e > 0 ? std::strerror(e) : "write error"; }

// Flushes stream and, when owned, closes it; false, with "cannot write
// <where>: why" in error, when a byte did not reach it. failure is the
// errno of an earlier failed write, -1 for none.
bool finish(std::FILE* stream, bool owned, int failure, const std::string& where,
            std::string& error) {
  errno = 0;
  bool ok = failure < 0 && std::fflush(stream) == 0 && std::ferror(stream) == 0;
  int why = failure >= 0 ? failure : errno;
  if (owned && std::fclose(stream) != 0 && ok) {
    ok = false;
    why = errno;
  }
  if (!ok) error = "cannot write " + where + ": " + error_text(why);
  return ok;
}

}  // namespace

Output::~Output() {
  std::string ignored;
  if (stream_ != nullptr) close(ignored);
}

bool Output::open(const std::string& path, bool binary, std::string& error) {
  name_ = path;
  failure_ = -1;
  if (path == "-") {
    stream_ = stdout;
    owned_ = false;
#if defined(_WIN32)
    if (binary) {
      std::fflush(stdout);
      previous_mode_ = _setmode(_fileno(stdout), _O_BINARY);
    }
#endif
    return true;
  }
  stream_ = std::fopen(path.c_str(), binary ? "wb" : "w");
  owned_ = stream_ != nullptr;
  if (stream_ == nullptr) error = "cannot create " + path + ": " + error_text(errno);
  return stream_ != nullptr;
}

bool Output::write(std::string_view bytes) {
  if (failure_ >= 0 || stream_ == nullptr) return false;
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) failure_ = errno;
  return failure_ < 0;
}

bool Output::close(std::string& error) {
  if (stream_ == nullptr) return true;
  const bool ok = finish(stream_, owned_, failure_,
                         name_ == "-" ? std::string("to standard output") : name_, error);
#if defined(_WIN32)
  if (previous_mode_ != -1) _setmode(_fileno(stdout), previous_mode_);
  previous_mode_ = -1;
#endif
  stream_ = nullptr;
  return ok;
}

bool print_text(std::string_view text, std::string& error) {
  Output out;
  out.open("-", false, error);
  out.write(text);
  return out.close(error);
}

bool close_standard_output(std::string& error) {
  return finish(stdout, true, -1, "to standard output", error);
}

TextBuffer::TextBuffer(Output& out, std::size_t capacity) : out_(out), buffer_(capacity, '\0') {}

bool TextBuffer::flush() {
  if (used_ > 0) out_.write(std::string_view(buffer_.data(), used_));
  used_ = 0;
  return !out_.failed();
}

char* TextBuffer::room(std::size_t n) {
  if (buffer_.size() - used_ < n) {
    flush();
    if (buffer_.size() < n) buffer_.resize(n);
  }
  char* at = buffer_.data() + used_;
  used_ += n;
  return at;
}

void TextBuffer::put(std::string_view text) {
  std::memcpy(room(text.size()), text.data(), text.size());
}

void TextBuffer::put_int(std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  put(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

void TextBuffer::put_hex(const unsigned char* data, std::size_t length) {
  char* at = room(2 * length);
  for (std::size_t i = 0; i < length; ++i) {
    std::memcpy(at + 2 * i, &kHexPairs[2 * std::size_t{data[i]}], 2);
  }
}

void TextBuffer::put_hex_width(std::uint32_t value, int width) {
  char* at = room(static_cast<std::size_t>(width));
  for (int i = width - 1; i >= 0; --i) {
    at[i] = kDigits[value & 15];
    value >>= 4;
  }
}

void TextBuffer::put_hex_rows(const unsigned char* data, std::size_t length) {
  for (std::size_t row = 0; row < length; row += kRowBytes) {
    const std::size_t n = std::min(kRowBytes, length - row);
    put("  ");
    if (row <= 0xffffff) {
      put_hex_width(static_cast<std::uint32_t>(row), 6);
    } else {  // records of 16 MiB and more: as many digits as needed
      char digits[24];
      const auto r = std::to_chars(digits, digits + sizeof digits, row, 16);
      put(std::string_view(digits, static_cast<std::size_t>(r.ptr - digits)));
    }
    char* cell = room(kRowText - 8 - (kRowBytes - n));
    *cell++ = ' ';
    *cell++ = ' ';
    for (std::size_t i = 0; i < kRowBytes; ++i, cell += 3) {
      if (i < n) {
        std::memcpy(cell, &kHexPairs[2 * std::size_t{data[row + i]}], 2);
      } else {
        cell[0] = cell[1] = ' ';
      }
      cell[2] = ' ';
    }
    *cell++ = ' ';
    *cell++ = '|';
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char c = data[row + i];
      *cell++ = c >= 32 && c < 127 ? static_cast<char>(c) : '.';
    }
    *cell++ = '|';
    *cell = '\n';
  }
}

}  // namespace rbtool
