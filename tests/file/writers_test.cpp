// One writer per file, with the platform's own files and locks. While a
// writer holds the file, in this process or another, a second write open
// is refused with -18 (logged), and so is a dbCreate over the file, which
// stays as it was; a reader opens alongside until the writer has begun to
// overwrite committed bytes. Once the writer has closed the file, exited
// or been killed, the file can be written again. A reader keeps dbCreate
// from emptying the file.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "hardening/hardening_kit.h"
#include "support/testkit.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

constexpr const char* kName = "writers.db";
constexpr const char* kJournal = "writers.db-journal";
constexpr std::int32_t kNoAnswer = INT32_MIN;  // the other writer never answered

#ifdef _WIN32

// The test program started again with the file's name in this variable is
// the other writer: before main, it opens the file for writing, writes the
// result to its standard output and holds the file until its standard
// input ends; then it closes the file and exits.
constexpr const char* kHoldVariable = "RECBASE_TEST_HOLD_WRITER";

[[maybe_unused]] const bool kOtherWriter = [] {
  const char* name = std::getenv(kHoldVariable);
  if (name == nullptr) return false;
  dbInit(8, 4);
  const std::int32_t f = dbOpen(name, DB_MODE_WRITE);
  DWORD n = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), &f, sizeof f, &n, nullptr);
  char c = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &n, nullptr) && n > 0) {
  }
  ExitProcess(f >= 0 && dbClose(f) == 4096 ? 0 : 1);
}();

class OtherWriter {
 public:
  explicit OtherWriter(const char* name) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE answer = nullptr;
    HANDLE answer_end = nullptr;
    HANDLE go = nullptr;
    if (!CreatePipe(&answer, &answer_end, &inherited, 0)) return;
    if (!CreatePipe(&go, &go_, &inherited, 0)) return;
    SetHandleInformation(answer, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(go_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = go;
    startup.hStdOutput = answer_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    SetEnvironmentVariableA(kHoldVariable, name);
    started_ = CreateProcessA(program, nullptr, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                              &startup, &process_) != 0;
    SetEnvironmentVariableA(kHoldVariable, nullptr);
    CloseHandle(answer_end);
    CloseHandle(go);
    DWORD n = 0;
    if (!started_ || !ReadFile(answer, &opened_, sizeof opened_, &n, nullptr) ||
        n != sizeof opened_) {
      opened_ = kNoAnswer;
    }
    CloseHandle(answer);
  }

  std::int32_t opened() const { return opened_; }

  // Lets the writer close the file and exit, or kills it; true when it
  // ended that way.
  bool end(bool kill) {
    if (!started_) return false;
    if (kill) TerminateProcess(process_.hProcess, 9);
    CloseHandle(go_);
    WaitForSingleObject(process_.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process_.hProcess, &code);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
    return code == (kill ? 9u : 0u);
  }

 private:
  bool started_ = false;
  PROCESS_INFORMATION process_{};
  HANDLE go_ = nullptr;
  std::int32_t opened_ = kNoAnswer;
};

#else

// A child process that opens the file for writing, sends the result and
// holds the file until the pipe from its parent closes; then it closes the
// file and exits.
class OtherWriter {
 public:
  explicit OtherWriter(const char* name) {
    int answer[2];
    int go[2];
    if (pipe(answer) != 0 || pipe(go) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(answer[0]);
      close(go[1]);
      const std::int32_t f = dbOpen(name, DB_MODE_WRITE);
      if (write(answer[1], &f, sizeof f) != static_cast<ssize_t>(sizeof f)) _exit(2);
      char c = 0;
      while (read(go[0], &c, 1) > 0) {
      }
      _exit(f >= 0 && dbClose(f) == 4096 ? 0 : 1);
    }
    close(answer[1]);
    close(go[0]);
    go_ = go[1];
    if (pid_ < 0 || read(answer[0], &opened_, sizeof opened_) != sizeof opened_) {
      opened_ = kNoAnswer;
    }
    close(answer[0]);
  }

  std::int32_t opened() const { return opened_; }

  // Lets the writer close the file and exit, or kills it; true when it
  // ended that way.
  bool end(bool kill) {
    if (pid_ <= 0) return false;
    if (kill) ::kill(pid_, SIGKILL);
    close(go_);
    int status = 0;
    waitpid(pid_, &status, 0);
    return kill ? WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL
                : WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  pid_t pid_ = -1;
  int go_ = -1;
  std::int32_t opened_ = kNoAnswer;
};

#endif

class WritersTest : public rbtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    rbtest::remove_file(kJournal);
    std::int32_t f = -1;
    ASSERT_EQ(hardkit::build(kName, f, model_), 0);
    ASSERT_EQ(dbClose(f), 4096);
  }

  // With the file held by a writer that has not changed it yet.
  void expect_held() {
    EXPECT_EQ(dbOpen(kName, DB_MODE_WRITE), DB_ERR_BUSY);
    const std::vector<std::string> log = rbtest::log_lines();
    ASSERT_GE(log.size(), 2u);
    EXPECT_NE(log.end()[-2].find("dbOpen"), std::string::npos) << log.end()[-2];
    EXPECT_NE(log.back().find("(  -18)"), std::string::npos) << log.back();
    EXPECT_EQ(dbCreate(kName, 0, nullptr, 0, DB_MODE_WRITE), DB_ERR_BUSY);
    EXPECT_TRUE(rbtest::read_file(kName) == bytes_);
    const std::int32_t reader = dbOpen(kName, 0);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(hardkit::verify(reader, model_), "");
    EXPECT_EQ(dbClose(reader), 0);
  }

  // The file can be written again and holds every record.
  void expect_free() {
    const std::int32_t f = dbOpen(kName, DB_MODE_WRITE);
    ASSERT_GE(f, 0);
    EXPECT_EQ(hardkit::verify(f, model_), "");
    EXPECT_EQ(dbClose(f), 4096);
  }

  std::vector<hardkit::Stored> model_;
  std::string bytes_;  // the file before the writer opened it
};

TEST_F(WritersTest, OneWriterInThisProcess) {
  bytes_ = rbtest::read_file(kName);
  const std::int32_t writer = dbOpen(kName, DB_MODE_WRITE);
  ASSERT_GE(writer, 0);
  expect_held();
  // Grown in the middle, the file is changing under its journal: a reader
  // would find it half done and is refused as well.
  for (std::int32_t rec = 25; rec < 80; rec += 5) {
    const std::string bytes = hardkit::pattern(1, rec, 0, 10);
    ASSERT_EQ(dbWrite(writer, 1, rec, 0, bytes.data()), 0);
    model_.push_back({-1, {}, 1, rec, 0, bytes});
  }
  ASSERT_TRUE(rbtest::file_exists(kJournal));
  EXPECT_EQ(dbOpen(kName, 0), DB_ERR_BUSY);
  EXPECT_EQ(dbClose(writer), 4096);
  EXPECT_FALSE(rbtest::file_exists(kJournal));
  expect_free();
}

// A reader keeps dbCreate from emptying the file under it (its blocks may
// be read in place); once it has closed the file, the file can be made anew.
TEST_F(WritersTest, AReaderKeepsTheFileFromBeingEmptied) {
  bytes_ = rbtest::read_file(kName);
  const std::int32_t reader = dbOpen(kName, 0);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(hardkit::verify(reader, model_), "");
  EXPECT_EQ(dbCreate(kName, 0, nullptr, 0, DB_MODE_WRITE), DB_ERR_BUSY);
  EXPECT_TRUE(rbtest::read_file(kName) == bytes_);
  EXPECT_EQ(hardkit::verify(reader, model_), "");
  EXPECT_EQ(dbClose(reader), 0);
  const std::int32_t f = dbCreate(kName, 0, nullptr, 0, DB_MODE_WRITE);
  ASSERT_GE(f, 0);
  EXPECT_EQ(dbClose(f), 4096);
}

TEST_F(WritersTest, OneWriterAcrossProcesses) {
  for (const bool kill : {false, true}) {
    SCOPED_TRACE(kill ? "the other writer is killed" : "the other writer closes and exits");
    bytes_ = rbtest::read_file(kName);
    OtherWriter other(kName);
    ASSERT_EQ(other.opened(), 0);
    expect_held();
    EXPECT_TRUE(other.end(kill));
    expect_free();
  }
}

}  // namespace
