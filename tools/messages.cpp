#include "messages.h"

#include <array>

namespace rbtool {

namespace {

struct CodeText {
  std::int32_t code;
  const char* text;
};

constexpr std::array kMessages{
    CodeText{-1, "Dateizeiger ist ungueltig."},
    CodeText{-2, "Indexfeld konnte nicht generiert werden."},
    CodeText{-3, "Vektor fuer indirekten Zugriff existiert nicht."},
    CodeText{-4, "Systemdaten wurden nicht angelegt."},
    CodeText{-5, "Cashsystem wurde nicht angelegt. Aufruf 'dbInit' fehlt."},
    CodeText{-10, "Datenbasisdatei konnte nicht angelegt werden."},
    CodeText{-11, "Datenbasisdatei konnte nicht geoeffnet werden."},
    CodeText{-12, "Positionierungsfehler auf Datenbasisdatei."},
    CodeText{-13, "Fehler beim Schreiben auf Datenbasisdatei."},
    CodeText{-14, "Fehler beim Lesen von Datenbasisdatei."},
    CodeText{-15, "Fehler beim Schliessen der Datenbasisdatei."},
    CodeText{-16, "Fehler beim Loesschen der Datenbasisdatei."},
    CodeText{-17, "Fehler beim Sichern der Datenbasisdatei auf das Speichermedium."},
    CodeText{-18, "Datenbasisdatei wird bereits von einem anderen Schreiber bearbeitet."},
    CodeText{-19,
             "Journal der Datenbasisdatei konnte nicht geschrieben oder zurueckgespielt werden."},
    CodeText{-20, "Versuch ueber das Dateiende hinaus zu lesen."},
    CodeText{-30, "Vektor fuer Zugriff auf indirekte Datentypen nicht gefunden."},
    CodeText{-31, "Vektor fuer Zugriff auf indirekte Sections nicht gefunden."},
    CodeText{-40,
             "Datenbestand kann nicht geoeffnet werden. Es wurde bereits ein Datenbestand "
             "geoeffnet."},
    CodeText{-41, "Datenbestand wurde noch nicht geoeffnet, kann nicht geschlossen werden."},
    CodeText{-50, "Datentyp wurde noch nicht vereinbart."},
    CodeText{-51, "Datentypbeschreibung ist fehlerhaft."},
    CodeText{-52, "Zu lesende Daten nicht in Datei gefunden."},
    CodeText{-53, "Zu lesender Index nicht definiert."},
    CodeText{-54, "Datentypflag ist unzulaessig."},
    CodeText{-70, "Es konnte kein Cashbuffer bereitgestellt werden."},
    CodeText{-90, "Unzulaessiger Funktionsaufruf, falsche Parameterwerte."},
    CodeText{-100, "Geoeffnete Datei ist wahrscheinlich nicht vollstaendig."},
    CodeText{-101, "Geoeffnete Datei hat unbekanntes Format."},
    CodeText{-102, "Datei fuer gegen Schreibzugriffe gesperrt."},
    CodeText{-110, "Anzahl verfuegbarer Sections ueberschritten."},
    CodeText{-111, "Unstimmigkeiten in Sections."},
    CodeText{-112, "Unzulaessiger Sectionhandle."},
    CodeText{-113, "Unzulaessige Reihenfolge beim Schliessen der Sections."},
    CodeText{-114, "Keine Sectionangabe beim Lesen."},
    CodeText{-115, "Unzulaessiger Sectionindex beim Lesen."},
    CodeText{-116,
             "Variable Datensatzlaenge beim Lesen unter Verwendung von Sections nicht "
             "vorgesehen."},
    CodeText{-117, "Keine Sectionangabe beim Schreiben."},
    CodeText{-118,
             "Variable Datensatzlaenge beim Schreiben unter Verwendung von Sections nicht "
             "vorgesehen."},
    CodeText{-119, "Unzulaessiger Sectionindex beim Schreiben."},
};

}  // namespace

const char* error_message(std::int32_t code) {
  for (const CodeText& entry : kMessages) {
    if (entry.code == code) return entry.text;
  }
  return "Interner Fehler.";
}

std::string library_failure(const char* function, std::int32_t code) {
  return std::string(function) + " failed: " + std::to_string(code) + " " + error_message(code);
}

}  // namespace rbtool
