#include <string>
#include <vector>

#include "dump/dump_kit.h"
#include "file/file_ctrl.h"

namespace {

using dumptest::dump_lines;
using dumptest::dump_text;
using dumptest::DumpTest;
using rbtest::desc;
using rbtest::file_ctrl;

std::string line_with(const std::vector<std::string>& lines, const std::string& part) {
  for (const std::string& l : lines) {
    if (l.find(part) != std::string::npos) return l;
  }
  return "<none>";
}

TEST_F(DumpTest, FileDefTellsWhetherADataInputIsOpen) {
  const std::int32_t f = create("input.db", {});
  ASSERT_EQ(f, 0);
  EXPECT_EQ(dbDumpAllDataCtrl(f), 0);  // no types: the dump file is not touched
  EXPECT_FALSE(rbtest::file_exists(dumptest::kDumpFile));
  EXPECT_EQ(dbDumpFileDef(f), 0);
  DataDesc first = desc(4, 0, 10, 100);
  ASSERT_EQ(dbBeginData(f, &first), 0);  // DataCtrl index 0 is open
  EXPECT_EQ(dbDumpFileDef(f), 0);
  ASSERT_EQ(dbEndData(f), 0);
  EXPECT_EQ(dbDumpFileDef(f), 0);

  std::vector<std::string> answers;
  for (const std::string& l : dump_lines()) {
    if (l.find("(nDataCtrlOpen).: ") != std::string::npos)
      answers.push_back(l.substr(l.find(".: ") + 3));
  }
  EXPECT_EQ(answers, (std::vector<std::string>{"nein", "ja", "nein"}));
}

TEST_F(DumpTest, FileDefTimeLinesEndWithTheirOwnLineBreak) {
  ASSERT_EQ(create("times.db", {}), 0);
  ASSERT_EQ(dbDumpFileDef(0), 0);
  const auto lines = dump_lines();
  ASSERT_GE(lines.size(), 5u);
  // "Www Mmm dd hh:mm:ss yyyy": 24 characters, then the next field line.
  EXPECT_EQ(lines[2].size(),
            std::string("       Zeit der Dateierstellung.........(tCreate).: ").size() + 24);
  EXPECT_EQ(lines[3].rfind("       Zeit letzter ueberarbeitung......(tUpdate).: ", 0), 0u);
  EXPECT_EQ(lines[4].rfind("       Dateneingabe eroeffnet", 0), 0u);
}

TEST_F(DumpTest, DataCtrlUsesLowerCaseFlagsAndUpperCaseOffsets) {
  ASSERT_EQ(create("hex.db", {desc(2, 0, 100, 4096, 1000), desc(5, DTF_INDEX, 60, 4096, 25)}), 0);
  file_ctrl(0).pDataCtrl[1].nFlags = 0xABC;
  ASSERT_EQ(dbDumpDataCtrl(0, 1, 0), 0);
  const auto lines = dump_lines();
  EXPECT_EQ(line_with(lines, "(nFlags)"),
            "       Kennungen...........................(nFlags).: abc");
  EXPECT_EQ(line_with(lines, "(lOffsetData)"),
            "       Offset.........................(lOffsetData).:    106496 (1A000) Bytes");
}

TEST_F(DumpTest, DataCtrlThroughTheNumberShowsTheResolvedIndex) {
  ASSERT_EQ(create("ind.db", {desc(8, 0, 100, 4096, 10), desc(3, 0, 50, 4096, 10)}), 0);
  ASSERT_EQ(dbDumpDataCtrl(0, 3, 1), 0);
  const auto lines = dump_lines();
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[1], "     Datei 0, Datenbestand 1, Typ: 3");
}

TEST_F(DumpTest, VectorRowsOfTwentyFiveTwentyAndZeroValues) {
  ASSERT_EQ(create("rows.db", {desc(1, DTF_INDEX, 60, 4096, 25), desc(2, DTF_INDEX, 60, 4096, 20),
                               desc(3, DTF_INDEX, 60, 4096, 0)}),
            0);
  rb::FileCtrl& f = file_ctrl(0);
  f.pIndexVectors[0].entries[24] = 123;
  f.pIndexVectors[1].entries[10] = -7;
  for (std::int32_t t = 1; t <= 3; ++t) ASSERT_EQ(dbDumpDataIndex(0, t, 1), 0);
  const std::string dash = "     -1";
  const std::string ten = " " + dash + " " + dash + " " + dash + " " + dash + " " + dash + " " +
                          dash + " " + dash + " " + dash + " " + dash + " " + dash;
  EXPECT_EQ(dump_text(),
            "\n     Datei 0, Datentype 1, Indexvektor 0\n"
            "            0 -        9:" +
                ten +
                "\n"
                "           10 -       19:" +
                ten +
                "\n"
                "           20 -       29:      -1      -1      -1      -1     123\n"
                "\n     Datei 0, Datentype 2, Indexvektor 1\n"
                "            0 -        9:" +
                ten +
                "\n"
                "           10 -       19:      -7      -1      -1      -1      -1      -1      -1 "
                "     -1      -1      -1\n"
                "\n"
                "\n     Datei 0, Datentype 3, Indexvektor 2\n"
                "\n");
}

TEST_F(DumpTest, DataIndexSelectsItsBlocks) {
  ASSERT_EQ(create("sel.db", {desc(1, DTF_INDEX | DTF_ITERATOR, 60, 4096, 3),
                              desc(2, DTF_INDEX, 60, 4096, 3), desc(3, 0, 60, 4096, 3)}),
            0);
  EXPECT_EQ(dbDumpDataIndex(0, 2, 2), 0);  // no iterator vector
  EXPECT_EQ(dbDumpDataIndex(0, 3, 3), 0);  // no index vector
  EXPECT_EQ(dbDumpDataIndex(0, 4, 3), 0);  // not declared
  EXPECT_FALSE(rbtest::file_exists(dumptest::kDumpFile));

  EXPECT_EQ(dbDumpDataIndex(0, 1, 2), 0);
  EXPECT_EQ(dbDumpDataIndex(0, 1, 3), 0);
  EXPECT_EQ(dump_text(),
            "\n     Datei 0, Datentype 1, Iterator 1\n"
            "            0 -        9:      -1      -1      -1\n"
            "\n     Datei 0, Datentype 1, Indexvektor 0\n"
            "            0 -        9:      -1      -1      -1\n"
            "\n     Datei 0, Datentype 1, Iterator 1\n"
            "            0 -        9:      -1      -1      -1\n");
}

TEST_F(DumpTest, IndirectionVectorsAndTheirAbsence) {
  dbSetMaxDataType(10);
  dbSetMaxSection(0);
  ASSERT_EQ(create("vec.db", {desc(9, 0, 60, 4096, 1)}), 0);
  EXPECT_EQ(dbDumpIndDataTypes(0), 0);
  EXPECT_EQ(dbDumpIndSections(0), 0);
  EXPECT_EQ(dump_text(),
            "\n     Datei 0, Vektor indirekter Datentypen (10)\n"
            "          0 -      9:     -1     -1     -1     -1     -1     -1     -1     -1     -1  "
            "    0\n"
            "\n"
            "\n     Datei 0, Vektor indirekter Sections (0)\n"
            "\n");

  rb::FileCtrl& f = file_ctrl(0);
  std::int32_t* types = f.pIndDataTypes;
  std::int32_t* sections = f.pIndSections;
  f.pIndDataTypes = nullptr;
  f.pIndSections = nullptr;
  rbtest::remove_file(dumptest::kDumpFile);
  EXPECT_EQ(dbDumpIndDataTypes(0), -30);
  EXPECT_EQ(dbDumpIndSections(0), -31);
  f.pIndDataTypes = types;
  f.pIndSections = sections;
  EXPECT_FALSE(rbtest::file_exists(dumptest::kDumpFile));
  const auto log = rbtest::log_lines();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[2],
            "  Fehler (  -30): Vektor fuer Zugriff auf indirekte Datentypen nicht gefunden.");
  EXPECT_EQ(log[5], "  Fehler (  -31): Vektor fuer Zugriff auf indirekte Sections nicht gefunden.");
}

TEST_F(DumpTest, DumpsAppendInCallOrder) {
  rbtest::write_file(dumptest::kDumpFile, "vorher\n");
  ASSERT_EQ(dbSetError(-90), -90);
  ASSERT_EQ(dbDumpSysData(), 0);
  ASSERT_EQ(dbDumpSysData(), 0);
  const auto lines = dump_lines();
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[0], "vorher");
  EXPECT_EQ(lines[8], "       Letzter Fehler..........nLastError.:      -90");
  EXPECT_EQ(lines[9], "     SysData:");
}

// Numbers that name nothing are refused, logged, and leave no dump lines.
TEST_F(DumpTest, NumbersThatNameNothingAreRefused) {
  ASSERT_EQ(create("bad.db", {desc(2, DTF_INDEX, 60, 4096, 5)}), 0);
  EXPECT_EQ(dbDumpFileDef(-1), -6);
  EXPECT_EQ(dbDumpAllDataCtrl(9), -6);
  EXPECT_EQ(dbDumpIndDataTypes(3), -6);
  EXPECT_EQ(dbDumpIndSections(1), -6);
  EXPECT_EQ(dbDumpDataIndex(2, 2, 1), -6);
  EXPECT_EQ(dbDumpDataCtrl(0, 1, 0), -90);  // one DataCtrl only
  EXPECT_EQ(dbDumpDataCtrl(0, 3, 1), -90);  // type 3 not declared
  EXPECT_EQ(dbDumpDataCtrl(0, 1 << 30, 1), -90);
  EXPECT_EQ(dbDumpDataIndex(0, -1, 1), -90);
  file_ctrl(0).pIndDataTypes[4] = 7;  // a number naming no DataCtrl
  EXPECT_EQ(dbDumpDataIndex(0, 4, 1), -90);
  EXPECT_EQ(dbDumpDataCtrl(0, 4, 1), -90);
  EXPECT_FALSE(rbtest::file_exists(dumptest::kDumpFile));
  EXPECT_EQ(dbGetErrorCount(), 11);
}

}  // namespace
