#include "frame/log.h"
#include "recbase.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "frame/io_env.h"
#include "frame/messages.h"

#include "frame/state.h"

namespace rb {

namespace {

constexpr const char* kInternal = kInternalMessage;
constexpr const char kImplicitClose[] = "Datenbestand wurde implizit geschlossen.";

enum class Kind { error, warning };

// Appends a record to the log as a text stream would: on Windows every
// line ends in a carriage return and a line feed.
void append_text(const char* text) {
#ifdef _WIN32
  char lines[1024];
  std::size_t n = 0;
  for (const char* c = text; *c != '\0' && n + 2 < sizeof lines; ++c) {
    if (*c == '\n') lines[n++] = '\r';
    lines[n++] = *c;
  }
  io_env().append(kLogFileName, lines, static_cast<std::int64_t>(n));
#else
  io_env().append(kLogFileName, text, static_cast<std::int64_t>(std::strlen(text)));
#endif
}

std::int32_t log_record(std::int32_t code, Kind kind) {
  SysData* sys = g_lib.sys;
  if (sys == nullptr) return DB_ERR_NO_SYSDATA;
  sys->nErrorCount += 1;
  sys->nLastError = code;

  const std::time_t now = std::time(nullptr);
  const char* stamp = std::ctime(&now);
  char text[512];
  int n = std::snprintf(text, sizeof text, "Datum/Uhrzeit...: %s", stamp != nullptr ? stamp : "\n");
  n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n),
                     "  Funktion......: %s (Datei: %d)\n", g_lib.cFunction,
                     static_cast<int>(g_lib.nCurrentFileNo));
  if (kind == Kind::error) {
    std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "  Fehler (%5d): %s\n",
                  static_cast<int>(code), error_message(code));
  } else {
    std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "  Warnung(%5d): %s\n",
                  static_cast<int>(code), code == -40 ? kImplicitClose : kInternal);
  }
  append_text(text);
  return code;
}

}  // namespace

const char* error_message(std::int32_t code) { return error_text(code); }

std::int32_t report(std::int32_t code) { return log_record(code, Kind::error); }
std::int32_t report_warning(std::int32_t code) { return log_record(code, Kind::warning); }

}  // namespace rb
