// The rollback journal beside a database file ("<file>-journal"), read
// with plain stdio and never changed: whether a rollback would change the
// file, and the state it would restore.
#pragma once

#include <cstdint>
#include <string>

#include "layout.h"

namespace rbtool {

struct JournalFile {
  enum class State {
    none,        // no journal beside the file
    stale,       // restores nothing: empty, torn before its header was
                 // complete, or not a journal of this format
    pending,     // the next dbOpen rolls it back
    unreadable,  // there, but cannot be read
  };
  State state = State::none;
  std::string path;
  std::int64_t bytes = 0;       // size of the journal file
  std::string why_stale;        // stale: what the header lacks
  std::int64_t pages = 0;       // pending: saved pages that count
  Restored restored;            // pending: the state the rollback leaves
  bool writer_at_work = false;  // another process holds the writer's lock
};

// "<path>-journal", the name of the journal beside the database file path.
std::string journal_path(const std::string& path);

// Looks at the journal beside the database file path, as the library's
// dbOpen would before it rolls it back; keep_pages false leaves out the
// saved pages (restored.pages), counting them only.
JournalFile read_journal(const std::string& path, bool keep_pages = true);

// The line a command prints on standard error about a pending journal that
// no writer is working on: opened when the command had the library open the
// file (which rolled the journal back), else it shows the bytes on disk.
// Empty when there is nothing to say.
std::string journal_note(const JournalFile& journal, const std::string& name, bool opened);

}  // namespace rbtool
