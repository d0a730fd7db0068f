#include "session.h"

#include <chrono>
#include <cstdio>
#include <system_error>
#include <vector>

#include "commands.h"
#include "journal_file.h"
#include "messages.h"
#include "recbase.h"

#if defined(_WIN32)
#include <io.h>
#define RBTOOL_ISATTY _isatty
#define RBTOOL_FILENO _fileno
#else
#include <unistd.h>
#define RBTOOL_ISATTY isatty
#define RBTOOL_FILENO fileno
#endif

namespace rbtool {

namespace {

constexpr std::int64_t kProgressThreshold = 64LL * 1024 * 1024;
constexpr std::int32_t kCacheBlocks = 64;

}  // namespace

std::string absolute_path(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec);
  return ec ? path : full.string();
}

Workspace::Workspace() {
  std::error_code ec;
  previous_ = std::filesystem::current_path(ec);
  if (ec) return;
  const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  if (ec) return;
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path dir =
        base / ("recbase-tool-" + std::to_string(stamp) + "-" + std::to_string(attempt));
    if (std::filesystem::create_directory(dir, ec) && !ec) {
      std::filesystem::current_path(dir, ec);
      if (!ec) dir_ = dir;
      return;
    }
  }
}

Workspace::~Workspace() {
  if (dir_.empty()) return;
  std::error_code ec;
  std::filesystem::current_path(previous_, ec);
  std::filesystem::remove_all(dir_, ec);
}

Library::Library(std::int32_t files) : init_result_(dbInit(kCacheBlocks, files)) {}

Library::~Library() {
  if (init_result_ == 0) dbExit();
}

std::int32_t Library::open(const std::string& path, const std::string& name) {
  if (init_result_ != 0) return init_result_;
  const JournalFile journal = read_journal(path, false);
  file_ = dbOpen(path.c_str(), 0);
  const std::string note = journal_note(journal, name, true);
  if (file_ >= 0 && !note.empty()) fail(kExitOk, note);
  return file_;
}

std::int32_t open_database(Library& library, const std::string& path, const std::string& name,
                           rb::FileLayout& image) {
  const std::int32_t file = library.open(path, name);
  if (file < 0) {
    fail(kExitUnreadable, library_failure("cannot open " + name, "dbOpen", file));
    return -1;
  }
  std::vector<rb::Finding> findings;
  std::string error;
  if (!load_file(path, nullptr, image, findings, error)) {
    fail(kExitUnreadable, name + ": " + error);
    return -1;
  }
  return file;
}

Progress::Progress(const char* label, std::int64_t file_size, std::int64_t total)
    : label_(label),
      total_(total),
      active_(file_size > kProgressThreshold && total > 0 &&
              RBTOOL_ISATTY(RBTOOL_FILENO(stderr)) != 0) {}

Progress::~Progress() {
  if (active_ && shown_ >= 0) std::fprintf(stderr, "\r%s done \n", label_);
}

void Progress::update(std::int64_t done) {
  if (!active_) return;
  const int percent = static_cast<int>(done * 100 / total_);
  if (percent == shown_) return;
  shown_ = percent;
  std::fprintf(stderr, "\r%s %3d%%", label_, percent);
  std::fflush(stderr);
}

}  // namespace rbtool
