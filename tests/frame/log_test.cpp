// The error and warning log "tovek.log" and the entry convention.
#include <cctype>
#include <string>
#include <vector>

#include "support/testkit.h"

namespace {

using rbtest::LibraryTest;
using rbtest::log_lines;

// A ctime text: "Www Mmm dd hh:mm:ss yyyy".
bool is_ctime(const std::string& s) {
  const std::string pattern = "AAA AAA _9 99:99:99 9999";
  if (s.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    switch (pattern[i]) {
      case 'A':
        if (!std::isalpha(c)) return false;
        break;
      case '9':
        if (!std::isdigit(c)) return false;
        break;
      case '_':
        if (!std::isdigit(c) && c != ' ') return false;
        break;
      default:
        if (s[i] != pattern[i]) return false;
    }
  }
  return true;
}

// The log with the time stamp lines checked and masked.
std::vector<std::string> masked_log() {
  std::vector<std::string> lines = log_lines();
  const std::string stamp = "Datum/Uhrzeit...: ";
  for (std::size_t i = 0; i < lines.size(); i += 3) {
    EXPECT_EQ(lines[i].rfind(stamp, 0), 0u) << lines[i];
    EXPECT_TRUE(is_ctime(lines[i].substr(stamp.size()))) << lines[i];
    lines[i] = stamp + "*";
  }
  return lines;
}

std::vector<std::string> record(const std::string& function, int file_no,
                                const std::string& third) {
  return {"Datum/Uhrzeit...: *",
          "  Funktion......: " + function + " (Datei: " + std::to_string(file_no) + ")", third};
}

TEST_F(LibraryTest, ErrorAndWarningRecordsByteForByte) {
  ASSERT_EQ(dbExit(), 0);
  EXPECT_EQ(dbInit(0, 5), -90);
  EXPECT_EQ(dbSetError(-1001), -1001);
  EXPECT_EQ(dbSetError(-40), -40);
  EXPECT_EQ(dbSetWarnung(-40), -40);
  EXPECT_EQ(dbSetWarnung(-41), -41);
  EXPECT_EQ(dbSetError(-3), -3);
  EXPECT_EQ(dbSetError(123456), 123456);

  std::vector<std::string> expected;
  for (const auto& third : {
           "  Fehler (  -90): Unzulaessiger Funktionsaufruf, falsche Parameterwerte.",
           "  Fehler (-1001): Interner Fehler.",
           "  Fehler (  -40): Datenbestand kann nicht geoeffnet werden. Es wurde bereits ein "
           "Datenbestand geoeffnet.",
           "  Warnung(  -40): Datenbestand wurde implizit geschlossen.",
           "  Warnung(  -41): Interner Fehler.",
           "  Fehler (   -3): Vektor fuer indirekten Zugriff existiert nicht.",
           "  Fehler (123456): Interner Fehler.",
       }) {
    const auto r = record("dbInit", -1, third);
    expected.insert(expected.end(), r.begin(), r.end());
  }
  EXPECT_EQ(masked_log(), expected);
  EXPECT_EQ(dbGetErrorCount(), 7);
  EXPECT_EQ(dbGetLastError(), 123456);
}

TEST_F(LibraryTest, EntryConventionNamesTheRecordingFunctionAndFile) {
  ASSERT_EQ(dbCreate("log_first.db", 0, nullptr, 0, DB_MODE_WRITE), 0);
  rbtest::write_file("log_foreign.db", std::string(4096, 'x'));
  EXPECT_EQ(dbAddIndexVector(2, 10, 1, 0), -6);  // recorded as dbAddIndex
  EXPECT_EQ(dbOpen("log_foreign.db", 0), -101);  // logged under its header reader, slot 1
  EXPECT_EQ(dbOpen("log_missing.db", 0), -11);
  EXPECT_EQ(dbEndData(0), -41);
  // Setters, getters and the log functions record no name of their own.
  dbSetBucket(3);
  dbGetMaxSection();
  EXPECT_EQ(dbSetWarnung(-7), -7);
  std::int32_t flags = 0;
  EXPECT_EQ(dbGetCashPtr(9, 0, 4096, &flags), nullptr);
  // An inner failure is logged by the inner function and again by the outer.
  const DataDesc bad = rbtest::desc(1, 0, 0, 4096);
  EXPECT_EQ(dbBeginData(0, &bad), -51);

  std::vector<std::string> expected;
  const std::string bad_desc = "  Fehler (  -51): Datentypbeschreibung ist fehlerhaft.";
  for (const auto& r : {
           record("dbAddIndex", 2, "  Fehler (   -6): Interner Fehler."),
           record("dbReadFileDef", 1, "  Fehler ( -101): Geoeffnete Datei hat unbekanntes Format."),
           record("dbOpen", 1, "  Fehler (  -11): Datenbasisdatei konnte nicht geoeffnet werden."),
           record("dbEndData", 0,
                  "  Fehler (  -41): Datenbestand wurde noch nicht geoeffnet, kann nicht "
                  "geschlossen werden."),
           record("dbEndData", 0, "  Warnung(   -7): Interner Fehler."),
           record("dbGetCachPtr", 9, "  Fehler (   -1): Dateizeiger ist ungueltig."),
           record("dbAddDataCtrl", 0, bad_desc),
           record("dbAddDataCtrl", 0, bad_desc),
       }) {
    expected.insert(expected.end(), r.begin(), r.end());
  }
  EXPECT_EQ(masked_log(), expected);
}

}  // namespace
