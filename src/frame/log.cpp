#include "frame/log.h"
#include "recbase.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "frame/io_env.h"

#include "frame/state.h"

namespace rb {

namespace {

struct Message {
  std::int32_t code;
  const char* text;
};

constexpr Message kMessages[] = {
    {-1, "Dateizeiger ist ungueltig."},
    {-2, "Indexfeld konnte nicht generiert werden."},
    {-3, "Vektor fuer indirekten Zugriff existiert nicht."},
    {-4, "Systemdaten wurden nicht angelegt."},
    {-5, "Cashsystem wurde nicht angelegt. Aufruf 'dbInit' fehlt."},
    {-10, "Datenbasisdatei konnte nicht angelegt werden."},
    {-11, "Datenbasisdatei konnte nicht geoeffnet werden."},
    {-12, "Positionierungsfehler auf Datenbasisdatei."},
    {-13, "Fehler beim Schreiben auf Datenbasisdatei."},
    {-14, "Fehler beim Lesen von Datenbasisdatei."},
    {-15, "Fehler beim Schliessen der Datenbasisdatei."},
    {-16, "Fehler beim Loesschen der Datenbasisdatei."},
    {-17, "Fehler beim Sichern der Datenbasisdatei auf das Speichermedium."},
    {-18, "Datenbasisdatei wird bereits von einem anderen Schreiber bearbeitet."},
    {-19, "Journal der Datenbasisdatei konnte nicht geschrieben oder zurueckgespielt werden."},
    {-20, "Versuch ueber das Dateiende hinaus zu lesen."},
    {-30, "Vektor fuer Zugriff auf indirekte Datentypen nicht gefunden."},
    {-31, "Vektor fuer Zugriff auf indirekte Sections nicht gefunden."},
    {-40,
     "Datenbestand kann nicht geoeffnet werden. Es wurde bereits ein Datenbestand "
     "geoeffnet."},
    {-41, "Datenbestand wurde noch nicht geoeffnet, kann nicht geschlossen werden."},
    {-50, "Datentyp wurde noch nicht vereinbart."},
    {-51, "Datentypbeschreibung ist fehlerhaft."},
    {-52, "Zu lesende Daten nicht in Datei gefunden."},
    {-53, "Zu lesender Index nicht definiert."},
    {-54, "Datentypflag ist unzulaessig."},
    {-70, "Es konnte kein Cashbuffer bereitgestellt werden."},
    {-90, "Unzulaessiger Funktionsaufruf, falsche Parameterwerte."},
    {-100, "Geoeffnete Datei ist wahrscheinlich nicht vollstaendig."},
    {-101, "Geoeffnete Datei hat unbekanntes Format."},
    {-102, "Datei fuer gegen Schreibzugriffe gesperrt."},
    {-110, "Anzahl verfuegbarer Sections ueberschritten."},
    {-111, "Unstimmigkeiten in Sections."},
    {-112, "Unzulaessiger Sectionhandle."},
    {-113, "Unzulaessige Reihenfolge beim Schliessen der Sections."},
    {-114, "Keine Sectionangabe beim Lesen."},
    {-115, "Unzulaessiger Sectionindex beim Lesen."},
    {-116,
     "Variable Datensatzlaenge beim Lesen unter Verwendung von Sections nicht "
     "vorgesehen."},
    {-117, "Keine Sectionangabe beim Schreiben."},
    {-118,
     "Variable Datensatzlaenge beim Schreiben unter Verwendung von Sections nicht "
     "vorgesehen."},
    {-119, "Unzulaessiger Sectionindex beim Schreiben."},
};

constexpr const char kInternal[] = "Interner Fehler.";
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

const char* error_message(std::int32_t code) {
  for (const Message& m : kMessages) {
    if (m.code == code) return m.text;
  }
  return kInternal;
}

std::int32_t report(std::int32_t code) { return log_record(code, Kind::error); }
std::int32_t report_warning(std::int32_t code) { return log_record(code, Kind::warning); }

}  // namespace rb
