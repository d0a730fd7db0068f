// The German messages of the library's error codes, as the log file
// "tovek.log" writes them after "Fehler (code): ". One table for the
// library and the tool, which quotes them beside its English texts.
#pragma once

#include <cstdint>

namespace rb {

struct ErrorMessage {
  std::int32_t code;
  const char* text;
};

inline constexpr ErrorMessage kErrorMessages[] = {
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

inline constexpr char kInternalMessage[] = "Interner Fehler.";

// The message of an error code; "Interner Fehler." for a code without one.
constexpr const char* error_text(std::int32_t code) {
  for (const ErrorMessage& m : kErrorMessages) {
    if (m.code == code) return m.text;
  }
  return kInternalMessage;
}

}  // namespace rb
