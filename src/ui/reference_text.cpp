// The command reference shown in the output editor: the board's commands and example exchanges, in German.
#include "ui/reference_text.h"

// Long paragraphs are split over two entries; the second continues the sentence of the first.
const std::array<std::string_view, 69> CommandReferenceLines = {
    "Befehle für das Varnex-NET-IO-Board",
    "",
    "Befehlsaufbau",
    "",
    "Alle TelNet-Befehle bestehen aus einem Zeichen und sind Großbuchstaben. Die Daten folgen dem Befehl.",
    "Ein Befehl wird immer mit Enter (Zeichen 13) abgeschlossen. Ein TelNet-Client darf jeweils nur einen Befehl "
    "senden, der höchstens 5 Zeichen lang ist. Die Antwort wiederholt die",
    "Anfrage, gefolgt von einem Doppelpunkt und den Antwortdaten. Alle übertragenen Datenwerte sind hexadezimal "
    "(meist zweistellig).",
    "",
    "Bei einem Fehler wird eine Fehlermeldung zurückgesendet. Sie kann am Anfang einer Zeile oder nach dem Echo "
    "der Befehlszeile stehen. Dies muss berücksichtigt werden, um Fehlinterpretationen",
    "zu vermeiden.",
    "",
    "Dies könnte so aussehen:",
    "Client zu NET-IO \tQ",
    "NET-IO zu Client \tQ:05",
    "Client zu NET-IO \tN00",
    "NET-IO zu Client \tN00:I00Taster1",
    "",
    "Die Befehle im Einzelnen",
    "",
    "Anzahl Einträge (Q)",
    "",
    "Liefert die Anzahl der Einträge, die angezeigt oder gesteuert werden können. Achtung: hexadezimal.",
    "Client zu NET-IO \tQ",
    "NET-IO zu Client \tQ:0A",
    "",
    "Eintrag (N)",
    "",
    "Mit dem Befehl N wird ein Eintrag gelesen. Auf das N folgt die ID des Eintrags. Die Antwort enthält den Typ "
    "des anzuzeigenden Elements („I“ für einen virtuellen Eingang oder „O“",
    "für einen Ausgang), danach die Position, an der das Element angezeigt wird (23 = Position 3 auf Seite 2), "
    "und anschließend den Namen des Elements.",
    "Client zu NET-IO \tN01",
    "NET-IO zu Client \tN01:I42Test1",
    "",
    "Zustände (P)",
    "",
    "Mit „P“ werden die Zustände der Einträge abgerufen. Sie kommen in der Reihenfolge, in der der Befehl N die "
    "Einträge auflistet, nicht nach Seiten sortiert. Dem Befehl P kann als Daten ein Index mitgegeben werden,",
    "der zwischen 0 und 5 liegen sollte. Die Daten kommen als 16-Bit-Hexadezimalwerte (4 Zeichen ergeben den "
    "Wert eines Ausgangs).",
    "Client zu NET-IO \tP1",
    "NET-IO zu Client \tP1:00010001000000010000000100000000",
    "",
    "Seiten-Namen (S)",
    "",
    "Mit dem Befehl S wird der Name einer Seite gelesen. Im Datenfeld kann eine Seite (0 bis 5) angegeben werden.",
    "Client zu NET-IO \tS1",
    "NET-IO zu Client \tS1:Seite 2",
    "",
    "Firmware (F)",
    "",
    "Mit dem Befehl F wird die Firmware-Version gelesen. Sie ist nicht als Hexadezimalwerte zu lesen, sondern "
    "kann direkt als Text verwendet werden.",
    "Client zu NET-IO \tF",
    "NET-IO zu Client \tF:020103",
    "",
    "Uhrzeit (C)",
    "",
    "Der Befehl C liefert die aktuelle Uhrzeit des Boards. Achtung: Sie ist hexadezimal codiert (HHMMSS).",
    "Client zu NET-IO \tC",
    "NET-IO zu Client \tC:0A032A",
    "",
    "Toggle (T)",
    "",
    "Schaltet einen Zustand um. Die Daten sind die ID des umzuschaltenden Elements (dezimal, nicht "
    "hexadezimal!). Die Antwort ist der neue Zustand dieser ID.",
    "Client zu NET-IO \tT02",
    "NET-IO zu Client \tT02:1",
    "",
    "Kennwort (K) [ab Version 2.1.6]",
    "",
    "Diese Nachricht kann nur direkt nach dem Verbindungsaufbau und der ersten Anmeldung am Varnex-NET-IO "
    "gesendet werden. Sie dient ausschließlich der Beantwortung der Kennwortabfrage. Ist kein Kennwort gesetzt,",
    "entfällt dieses Telegramm. Sobald das Kennwort korrekt gesendet wurde (das NET-IO sendet „K:1“), beginnt "
    "der normale Betrieb. Antwortet das NET-IO mit „K:0“, ist das Kennwort falsch.",
    "Client zu NET-IO \tBeliebige Nachricht",
    "NET-IO zu Client \tK:1",
};
