// The whole dump file of a fixed scenario against its expected text.
#include <string>

#include "dump/dump_kit.h"

namespace {

using dumptest::DumpTest;
using rbtest::desc;

// An iterator type declared at creation, a plain type added through a
// data input, a few records in each.
void build_scenario() {
  dbSetMaxDataType(12);
  const DataDesc iterated = desc(7, DTF_INDEX | DTF_ITERATOR, 32, 4096, 12);
  ASSERT_EQ(dbCreate("golden.db", 1, &iterated, 0, DB_MODE_WRITE), 0);
  char record[100] = "golden";
  for (std::int32_t sub = 0; sub < 3; ++sub) ASSERT_EQ(dbWrite(0, 7, 4, sub, record), 0);
  ASSERT_EQ(dbWrite(0, 7, 11, 0, record), 0);
  const DataDesc later = desc(9, 0, 16, 1024);
  ASSERT_EQ(dbBeginData(0, &later), 1);
  for (std::int32_t rec = 0; rec < 70; ++rec) ASSERT_EQ(dbWrite(0, 9, rec, 0, record), 0);
  ASSERT_EQ(dbEndData(0), 1);
}

void dump_everything() {
  EXPECT_EQ(dbDumpSysData(), 0);
  EXPECT_EQ(dbDumpFileDef(0), 0);
  EXPECT_EQ(dbDumpAllDataCtrl(0), 0);
  EXPECT_EQ(dbDumpDataIndex(0, 7, 3), 0);
  EXPECT_EQ(dbDumpIndDataTypes(0), 0);
  EXPECT_EQ(dbDumpIndSections(0), 0);
  EXPECT_EQ(dbDumpCashCtrl(), 0);
  EXPECT_EQ(dumpIOCtrl(4096, 4096, "Ende"), 0);
}

// Time stamps and buffer addresses masked; everything else byte for byte.
constexpr char kGolden[] = R"(     SysData:
       Blocklaenge.............lBufferLen.:    32767 Bytes
       Erweiterung........nDataCtrlExpand.:       10
       Erweiterung.........nSectionExpand.:        5
       Erweiterung......nIndexCountExpand.:       10
       Erweiterung........lIndexLenExpand.:      100
       Anzahl Fehler..........nErrorCount.:        0
       Letzter Fehler..........nLastError.:        0
     FileDef: Dateinummer...............(nFileNo).: 0
       Formatkenner.....................(cFormat).: TOVEK 1.00.0001
       Zeit der Dateierstellung.........(tCreate).: <masked>
       Zeit letzter ueberarbeitung......(tUpdate).: <masked>
       Dateneingabe eroeffnet.....(nDataCtrlOpen).: nein
       Dateistatus.......................(nFlags).:     1002
       Dateilaenge.....................(lFileLen).:    10240 Bytes
       Anzahl.DataCtrls..............(nDataTypes).:        2 Bytes
       Maximale Anzahl.DataCtrls....(nDataTypesX).:       11 Bytes
       Strukturlaenge.............(nDataCtrlSize).:       64 Bytes
       Gesamtlaenge................(nLenDataCtrl).:       64 Bytes
       Offset...................(lOffsetDataCtrl).:     4096 (1000) Bytes
       Anzahl.IndexCtrls............(nIndexCtrls).:        2 Bytes
       Maximale Anzahl.IndexCtrls..(nIndexCtrlsX).:       10 Bytes
       Strukturlaenge............(nIndexCtrlSize).:       20 Bytes
       Gesamtlaenge...............(nLenIndexCtrl).:       -1 Bytes
       Offset..................(lOffsetIndexCtrl).:       -1 (FFFFFFFF) Bytes
       Laenge ind. Datentypvektor.(nIndDataTypes).:       12
       Laenge ind. Datentypvektor(nIndDataTypesX).:       12
       Offset...............(lOffsetIndDataTypes).:       -1 Bytes
       Laenge ind. Sectionvektor...(nIndSections).:        5
       Laenge ind. Sectionvektor..(nIndSectionsX).:       -1
       Offset................(lOffsetIndSections).:       -1 Bytes
       Anzahl ind. Zugriffsvekt...(nIndexVectors).:        2
       Max. Anzahl...............(nIndexVectorsX).:       10
       Globaler Zeiger-Offset....(lOffsetVectors).:    10240 (2800) Bytes
       Geoeffnete Sections ..(nOpenSectionHandle).:       -1
       Aktive Sections ....(nActiveSectionHandle).:       -1
       Anzahl Sections.... ...........(nSections).:        0
       Maximale Anzahl Sections......(nSectionsX).:        0
       Groesse der Section.........(nSectionSize).:      124 Bytes
       Gesamtlaenge der Section.....(nLenSection).:       -1 Bytes
       Offset....................(lOffsetSection).:       -1 (FFFFFFFF) Bytes

     Datei 0, Datenbestand 0, Typ: 7
       Kennungen...........................(nFlags).: 5
       Offset.........................(lOffsetData).:      4096 (1000) Bytes
       Strukturlaenge...................(nDataSize).:        32 Bytes
       Gesamtlaenge......................(lLenData).:      4096 Bytes
       Blocklaenge.....................(nBlockSize).:      4096 Bytes
       Max. Datensatzanzahl in Datei (lMaxFileRecs).:    12
       Anzahl Datensaetze in Datei......(lFileRecs).:     4
       Anzahl Datensaetze in Block.....(lBlockRecs).:   128
       Anzahl Bloeck in Datei.......(lMaxBlockRecs).:     1
       Maximaler Indexwert..............(lMaxIndex).:    12
       Indexnummer.......................(nIndexNo).:     0
       Iteratorindexnummer............(nIteratorNo).:     1
       Sectionindexnummer.........(nSectionIndexNo).:    -1

     Datei 0, Datenbestand 1, Typ: 9
       Kennungen...........................(nFlags).: 0
       Offset.........................(lOffsetData).:      8192 (2000) Bytes
       Strukturlaenge...................(nDataSize).:        16 Bytes
       Gesamtlaenge......................(lLenData).:      2048 Bytes
       Blocklaenge.....................(nBlockSize).:      1024 Bytes
       Max. Datensatzanzahl in Datei (lMaxFileRecs).:   128
       Anzahl Datensaetze in Datei......(lFileRecs).:    70
       Anzahl Datensaetze in Block.....(lBlockRecs).:    64
       Anzahl Bloeck in Datei.......(lMaxBlockRecs).:     2
       Maximaler Indexwert..............(lMaxIndex).:    70
       Indexnummer.......................(nIndexNo).:    -1
       Iteratorindexnummer............(nIteratorNo).:    -1
       Sectionindexnummer.........(nSectionIndexNo).:    -1

     Datei 0, Datentype 7, Indexvektor 0
            0 -        9:      -1      -1      -1      -1       0      -1      -1      -1      -1      -1
           10 -       19:      -1       3

     Datei 0, Datentype 7, Iterator 1
            0 -        9:      -1      -1      -1      -1       3      -1      -1      -1      -1      -1
           10 -       19:      -1       1

     Datei 0, Vektor indirekter Datentypen (12)
          0 -      9:     -1     -1     -1     -1     -1     -1     -1      0     -1      1
         10 -     19:     -1     -1

     Datei 0, Vektor indirekter Sections (5)
          0 -      9:     -1     -1     -1     -1     -1
     Cashcontrol....................................: 1
       Dateihandle........................(nFileNo).: 0
       Indirekter Datentypzeiger........(nDataType).: -1
       Flags...............................(nFlags).: 0
       Offset in Datei................(lOffsetData).:      4096 (1000) Bytes
       Laenge der Daten in Datei.........(lLenData).:      4096 Bytes
       Bufferadresse......................(pBuffer).: <masked>
     Cashcontrol....................................: 2
       Dateihandle........................(nFileNo).: 0
       Indirekter Datentypzeiger........(nDataType).: -1
       Flags...............................(nFlags).: 0
       Offset in Datei................(lOffsetData).:      8192 (2000) Bytes
       Laenge der Daten in Datei.........(lLenData).:      1024 Bytes
       Bufferadresse......................(pBuffer).: <masked>
     Cashcontrol....................................: 3
       Dateihandle........................(nFileNo).: 0
       Indirekter Datentypzeiger........(nDataType).: -1
       Flags...............................(nFlags).: 1
       Offset in Datei................(lOffsetData).:      9216 (2400) Bytes
       Laenge der Daten in Datei.........(lLenData).:      1024 Bytes
       Bufferadresse......................(pBuffer).: <masked>
==> W-IO      : Ende
    Offset    :       4096 (1000)   /  Laenge :       4096 (1000)
    lFileLen      :      10240 (2800)
    lOffsetVectors:      10240 (2800)
)";

TEST_F(DumpTest, GoldenScenario) {
  build_scenario();
  dump_everything();
  EXPECT_EQ(dumptest::masked(dumptest::dump_text()), kGolden);
}

// An indexed type without an iterator: asked for both, only its index is
// listed.
TEST_F(DumpTest, DataIndexOfATypeWithoutAnIterator) {
  ASSERT_EQ(create("dump_index.db", {desc(2, DTF_INDEX, 8, 64, 3)}), 0);
  ASSERT_EQ(dbDumpDataIndex(0, 2, 3), 0);
  const std::string text = dumptest::dump_text();
  EXPECT_NE(text.find("Datentype 2, Indexvektor 0"), std::string::npos);
  EXPECT_EQ(text.find("Iterator"), std::string::npos);
}

}  // namespace
