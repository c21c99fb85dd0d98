<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>MainWindow</name>
    <message>
        <source>Qel Update</source>
        <translation>Qel-Aktualisierung</translation>
    </message>
    <message>
        <source>Qel information</source>
        <translation>Qel-Informationen</translation>
    </message>
    <message>
        <source>&amp;SN:</source>
        <translation>&amp;SN:</translation>
    </message>
    <message>
        <source>V&amp;ersion:</source>
        <translation>V&amp;ersion:</translation>
    </message>
    <message>
        <source>MIDI IN port</source>
        <translation>MIDI-IN-Port</translation>
    </message>
    <message>
        <source>MIDI OUT port</source>
        <translation>MIDI-OUT-Port</translation>
    </message>
    <message>
        <source>MIDI &amp;IN port</source>
        <translation>MIDI-&amp;IN-Port</translation>
    </message>
    <message>
        <source>MIDI &amp;OUT port</source>
        <translation>MIDI-&amp;OUT-Port</translation>
    </message>
    <message>
        <source>The port the Qel sends to; Connect opens it with the chosen MIDI OUT port.</source>
        <translation>Der Port, an den das Qel sendet; Verbinden öffnet ihn mit dem gewählten MIDI-OUT-Port.</translation>
    </message>
    <message>
        <source>The port that reaches the Qel.</source>
        <translation>Der Port, über den das Qel erreicht wird.</translation>
    </message>
    <message>
        <source>Update progress</source>
        <translation>Fortschritt des Updates</translation>
    </message>
    <message>
        <source>The pages of the firmware written so far.</source>
        <translation>Die bisher geschriebenen Seiten der Firmware.</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <source>What the updater did, one line per step, the newest last.</source>
        <translation>Was das Programm getan hat, eine Zeile je Schritt, die neueste zuletzt.</translation>
    </message>
    <message>
        <source>The Qel&apos;s firmware against the one this updater carries; while updating, the block, page and time left.</source>
        <translation>Die Firmware des Qel im Vergleich zu der mitgelieferten; während des Updates Block, Seite und verbleibende Zeit.</translation>
    </message>
    <message>
        <source>&amp;Connect</source>
        <translation>&amp;Verbinden</translation>
    </message>
    <message>
        <source>try to connect...</source>
        <translation>verbinde...</translation>
    </message>
    <message>
        <source>&amp;Update</source>
        <translation>&amp;Update</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>Textfeld</translation>
    </message>
    <message>
        <source>NAND Information</source>
        <translation>NAND-Informationen</translation>
    </message>
    <message>
        <source>&amp;Block:</source>
        <translation>&amp;Block:</translation>
    </message>
    <message>
        <source>&amp;Page:</source>
        <translation>Sei&amp;te:</translation>
    </message>
    <message>
        <source>Dis&amp;connect</source>
        <translation>T&amp;rennen</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Could not open the chosen MIDI ports.</source>
        <translation>Die gewählten MIDI-Ports konnten nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>e=%1 %2</source>
        <translation>e=%1 %2</translation>
    </message>
    <message>
        <source>Update in progress</source>
        <translation>Update läuft</translation>
    </message>
    <message>
        <source>An update is running. If you close now, the Qel is left without working firmware and must be updated again before use.

Stop the update and close?</source>
        <translation>Ein Update läuft. Wenn Sie jetzt schließen, bleibt das Qel ohne funktionierende Firmware und muss vor der Benutzung erneut aktualisiert werden.

Update abbrechen und schließen?</translation>
    </message>
    <message>
        <source>Update finished</source>
        <translation>Update abgeschlossen</translation>
    </message>
    <message>
        <source>Update failed</source>
        <translation>Update fehlgeschlagen</translation>
    </message>
    <message>
        <source>The firmware image could not be read, so nothing was sent to the device. Please reinstall the updater and try again.</source>
        <translation>Das Firmware-Abbild konnte nicht gelesen werden, daher wurde nichts an das Gerät gesendet. Bitte installieren Sie das Update-Programm neu und versuchen Sie es noch einmal.</translation>
    </message>
    <message>
        <source>The update was stopped before it was complete. The device may not start until the update has been run again.</source>
        <translation>Das Update wurde vor seinem Abschluss beendet. Das Gerät startet möglicherweise erst wieder, wenn das Update erneut ausgeführt wurde.</translation>
    </message>
    <message>
        <source>read BBL
</source>
        <translation>read BBL
</translation>
    </message>
    <message>
        <source>The device&apos;s flash memory has %1 blocks that were faulty from the factory (at most 3 are allowed), so it cannot be updated safely. Nothing was written. Please contact service.</source>
        <translation>Der Flash-Speicher des Geräts hat %1 ab Werk fehlerhafte Blöcke (höchstens 3 sind zulässig) und kann daher nicht sicher aktualisiert werden. Es wurde nichts geschrieben. Bitte wenden Sie sich an den Service.</translation>
    </message>
    <message>
        <source>The firmware was written, but the device could not store its list of faulty flash blocks, so it may not start. Please run the update again.</source>
        <translation>Die Firmware wurde geschrieben, aber das Gerät konnte seine Liste fehlerhafter Flash-Blöcke nicht speichern und startet möglicherweise nicht. Bitte führen Sie das Update erneut aus.</translation>
    </message>
    <message>
        <source>The device could not store its list of faulty flash blocks, so no firmware was written. Please run the update again; if it fails again, contact service.</source>
        <translation>Das Gerät konnte seine Liste fehlerhafter Flash-Blöcke nicht speichern, daher wurde keine Firmware geschrieben. Bitte führen Sie das Update erneut aus; schlägt es wieder fehl, wenden Sie sich an den Service.</translation>
    </message>
    <message>
        <source>The device stopped answering, so the update stopped. Please check the MIDI cable and the device, then run the update again.</source>
        <translation>Das Gerät antwortet nicht mehr, daher wurde das Update beendet. Bitte prüfen Sie das MIDI-Kabel und das Gerät und führen Sie das Update dann erneut aus.</translation>
    </message>
    <message>
        <source>The device&apos;s flash memory ran out of good blocks before the whole firmware was written, so the device may not start. Please contact service.</source>
        <translation>Im Flash-Speicher des Geräts gingen die fehlerfreien Blöcke aus, bevor die ganze Firmware geschrieben war; das Gerät startet daher möglicherweise nicht. Bitte wenden Sie sich an den Service.</translation>
    </message>
    <message>
        <source>The update is complete: the device now carries firmware %1.</source>
        <translation>Das Update ist abgeschlossen: Auf dem Gerät ist jetzt die Firmware %1.</translation>
    </message>
    <message>
        <source>The MIDI port refused a message: the device or its cable went away. Please check the connection, connect again and run the update again.</source>
        <translation>Der MIDI-Port hat eine Nachricht abgelehnt: Das Gerät oder sein Kabel ist nicht mehr da. Bitte prüfen Sie die Verbindung, verbinden Sie neu und führen Sie das Update erneut aus.</translation>
    </message>
    <message>
        <source>Firmware %1 is older than %2: an update is recommended.</source>
        <translation>Firmware %1 ist älter als %2: Ein Update wird empfohlen.</translation>
    </message>
    <message>
        <source>Firmware %1 is already up to date.</source>
        <translation>Firmware %1 ist bereits aktuell.</translation>
    </message>
    <message>
        <source>Firmware %1 is newer than %2: updating would be a downgrade.</source>
        <translation>Firmware %1 ist neuer als %2: Ein Update wäre ein Downgrade.</translation>
    </message>
    <message>
        <source>Update the Qel</source>
        <translation>Qel aktualisieren</translation>
    </message>
    <message>
        <source>Cancel the update</source>
        <translation>Update abbrechen</translation>
    </message>
    <message>
        <source>If you cancel now, the Qel is left without working firmware and must be updated again before use.

Cancel the update?</source>
        <translation>Wenn Sie jetzt abbrechen, bleibt das Qel ohne funktionierende Firmware und muss vor der Benutzung erneut aktualisiert werden.

Update abbrechen?</translation>
    </message>
    <message>
        <source>Block %1, page %2</source>
        <translation>Block %1, Seite %2</translation>
    </message>
    <message>
        <source>Update cancelled: the Qel must be updated again before use.</source>
        <translation>Update abgebrochen: Das Qel muss vor der Benutzung erneut aktualisiert werden.</translation>
    </message>
    <message>
        <source>Update failed.</source>
        <translation>Update fehlgeschlagen.</translation>
    </message>
    <message>
        <source>about %1 min</source>
        <translation>etwa %1 min</translation>
    </message>
    <message>
        <source>a few seconds left</source>
        <translation>noch wenige Sekunden</translation>
    </message>
    <message>
        <source>about %1 s left</source>
        <translation>noch etwa %1 s</translation>
    </message>
    <message>
        <source>about %1 min left</source>
        <translation>noch etwa %1 min</translation>
    </message>
    <message>
        <source>Update the Qel from firmware %1 to %2?</source>
        <translation>Das Qel von Firmware %1 auf %2 aktualisieren?</translation>
    </message>
    <message>
        <source>The Qel already runs firmware %1. Write firmware %2 again?</source>
        <translation>Auf dem Qel läuft bereits Firmware %1. Firmware %2 erneut schreiben?</translation>
    </message>
    <message>
        <source>The Qel runs firmware %1, which is newer than %2. Downgrade it to %2?</source>
        <translation>Auf dem Qel läuft Firmware %1, die neuer ist als %2. Ein Downgrade auf %2 durchführen?</translation>
    </message>
    <message>
        <source>This takes %1. The Qel must stay connected and powered until the update has finished; an interrupted update leaves it unable to start.</source>
        <translation>Das dauert %1. Das Qel muss verbunden und eingeschaltet bleiben, bis das Update abgeschlossen ist; nach einem unterbrochenen Update startet es nicht mehr.</translation>
    </message>
    <message>
        <source>The device&apos;s answers about its list of faulty flash blocks did not agree, so nothing was written. Please check the MIDI cable and run the update again.</source>
        <translation>Die Antworten des Geräts zu seiner Liste fehlerhafter Flash-Blöcke stimmten nicht überein, daher wurde nichts geschrieben. Bitte prüfen Sie das MIDI-Kabel und führen Sie das Update erneut aus.</translation>
    </message>
    <message>
        <source>Writes the firmware this tool carries into a Qel over MIDI, as the updater&apos;s window does.</source>
        <translation>Schreibt die Firmware, die dieses Programm mitbringt, über MIDI in ein Qel, wie es das Fenster des Update-Programms tut.</translation>
    </message>
    <message>
        <source>List the MIDI ports and stop.</source>
        <translation>Die MIDI-Ports auflisten und beenden.</translation>
    </message>
    <message>
        <source>MIDI IN port the Qel sends to: its number or part of its name.</source>
        <translation>MIDI-IN-Port, an den das Qel sendet: seine Nummer oder ein Teil seines Namens.</translation>
    </message>
    <message>
        <source>port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>MIDI OUT port that reaches the Qel: its number or part of its name.</source>
        <translation>MIDI-OUT-Port, der das Qel erreicht: seine Nummer oder ein Teil seines Namens.</translation>
    </message>
    <message>
        <source>Update without asking first.</source>
        <translation>Ohne Rückfrage aktualisieren.</translation>
    </message>
    <message>
        <source>Use the simulated Qel built into the tool.</source>
        <translation>Das im Programm eingebaute simulierte Qel verwenden.</translation>
    </message>
    <message>
        <source>MIDI system: alsa, jack, winmm, core or sim (default: QEL_MIDI_API).</source>
        <translation>MIDI-System: alsa, jack, winmm, core oder sim (Vorgabe: QEL_MIDI_API).</translation>
    </message>
    <message>
        <source>name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Write this image file instead of the built-in one.</source>
        <translation>Diese Abbild-Datei statt der eingebauten schreiben.</translation>
    </message>
    <message>
        <source>file</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Unexpected argument: %1</source>
        <translation>Unerwartetes Argument: %1</translation>
    </message>
    <message>
        <source>--sim and --api %1 contradict each other.</source>
        <translation>--sim und --api %1 widersprechen sich.</translation>
    </message>
    <message>
        <source>Connecting: %1 port &quot;%2&quot;, %3 port &quot;%4&quot;.</source>
        <translation>Verbinde: %1-Port „%2“, %3-Port „%4“.</translation>
    </message>
    <message>
        <source>No MIDI ports found.</source>
        <translation>Keine MIDI-Ports gefunden.</translation>
    </message>
    <message>
        <source>%1 ports:</source>
        <translation>%1-Ports:</translation>
    </message>
    <message>
        <source>The Qel did not answer. Check that it is switched on and connected, and that the MIDI IN and MIDI OUT ports are not swapped.</source>
        <translation>Das Qel hat nicht geantwortet. Prüfen Sie, ob es eingeschaltet und angeschlossen ist und ob MIDI-IN- und MIDI-OUT-Port nicht vertauscht sind.</translation>
    </message>
    <message>
        <source>Qel %1, firmware %2.</source>
        <translation>Qel %1, Firmware %2.</translation>
    </message>
    <message>
        <source>Nobody can be asked before writing: standard input is not a terminal. Add --yes to update without a question.</source>
        <translation>Vor dem Schreiben kann niemand gefragt werden: Die Standardeingabe ist kein Terminal. Mit --yes wird ohne Rückfrage aktualisiert.</translation>
    </message>
    <message>
        <source>Nothing was written.</source>
        <translation>Es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>[y/N]</source>
        <translation>[j/N]</translation>
    </message>
    <message>
        <source>y,yes</source>
        <translation>j,ja</translation>
    </message>
    <message>
        <source>Try --help.</source>
        <translation>Siehe --help.</translation>
    </message>
    <message>
        <source>No %1 port found.</source>
        <translation>Kein %1-Port gefunden.</translation>
    </message>
    <message>
        <source>No %1 port looks like a Qel; choose one of %2.</source>
        <translation>Kein %1-Port sieht nach einem Qel aus; wählen Sie einen von %2.</translation>
    </message>
    <message>
        <source>There is no %1 port %2; the ports are numbered 0 to %3.</source>
        <translation>Es gibt keinen %1-Port %2; die Ports sind von 0 bis %3 nummeriert.</translation>
    </message>
    <message>
        <source>No %1 port matches &quot;%2&quot;; the ports are %3.</source>
        <translation>Kein %1-Port passt zu „%2“; die Ports sind %3.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; matches several %2 ports: %3. Give more of the name, or the number.</source>
        <translation>„%1“ passt zu mehreren %2-Ports: %3. Geben Sie mehr vom Namen an oder die Nummer.</translation>
    </message>
    <message>
        <source>The firmware image built into the updater is damaged, so nothing was sent to the device. Please reinstall the updater.</source>
        <translation>Das im Update-Programm enthaltene Firmware-Abbild ist beschädigt, daher wurde nichts an das Gerät gesendet. Bitte installieren Sie das Update-Programm neu.</translation>
    </message>
    <message>
        <source>The image file &quot;%1&quot; is empty, so nothing was sent to the device.</source>
        <translation>Die Abbilddatei „%1“ ist leer, daher wurde nichts an das Gerät gesendet.</translation>
    </message>
    <message>
        <source>The image file &quot;%1&quot; has %2 bytes, more than the %3 bytes the device&apos;s flash can hold, so nothing was sent to the device.</source>
        <translation>Die Abbilddatei „%1“ hat %2 Bytes, mehr als die %3 Bytes, die der Flash-Speicher des Geräts aufnehmen kann, daher wurde nichts an das Gerät gesendet.</translation>
    </message>
    <message>
        <source>The image file &quot;%1&quot; could not be read (%2), so nothing was sent to the device.</source>
        <translation>Die Abbilddatei „%1“ konnte nicht gelesen werden (%2), daher wurde nichts an das Gerät gesendet.</translation>
    </message>
    <message>
        <source>Firmware image %1, %2 bytes, SHA-256 %3</source>
        <translation>Firmware-Abbild %1, %2 Bytes, SHA-256 %3</translation>
    </message>
    <message>
        <source>Show the firmware image&apos;s version, size and SHA-256, then the Qel&apos;s serial number and firmware, and stop.</source>
        <translation>Version, Größe und SHA-256 des Firmware-Abbilds, dann Seriennummer und Firmware des Qel anzeigen und beenden.</translation>
    </message>
    <message>
        <source>&amp;Verify after writing</source>
        <translation>Nach dem Schreiben &amp;prüfen</translation>
    </message>
    <message>
        <source>The firmware was written, but so many of the device&apos;s flash blocks have gone bad that its list of faulty blocks cannot hold them all. The flash is worn out: please contact service.</source>
        <translation>Die Firmware wurde geschrieben, aber so viele Flash-Blöcke des Geräts sind defekt, dass seine Liste der fehlerhaften Blöcke sie nicht alle fassen kann. Der Flash-Speicher ist verschlissen: Bitte wenden Sie sich an den Service.</translation>
    </message>
    <message>
        <source>The device&apos;s answers kept getting lost at the same place, so the update stopped. Please check the MIDI cable and the device, then run the update again.</source>
        <translation>Die Antworten des Geräts gingen immer wieder an derselben Stelle verloren, darum wurde das Update abgebrochen. Bitte prüfen Sie das MIDI-Kabel und das Gerät und starten Sie das Update erneut.</translation>
    </message>
    <message>
        <source>Read every written page back and compare it with the image, where the Qel can read its pages back (exit code 4 when it cannot).</source>
        <translation>Jede geschriebene Seite zurücklesen und mit dem Image vergleichen, wo das Qel seine Seiten zurücklesen kann (Exit-Code 4, wenn es das nicht kann).</translation>
    </message>
    <message>
        <source>Qel %1 found on %2 and %3.</source>
        <translation>Qel %1 an %2 und %3 gefunden.</translation>
    </message>
    <message>
        <source>%1 Qels found; Qel %2 on %3 and %4 is chosen.</source>
        <translation>%1 Qels gefunden; Qel %2 an %3 und %4 ist gewählt.</translation>
    </message>
    <message>
        <source>Ask every MIDI port pair for a Qel, list those that answer, and stop.</source>
        <translation>An jedem MIDI-Portpaar nach einem Qel fragen, die antwortenden auflisten und beenden.</translation>
    </message>
    <message>
        <source>Update the Qel with this serial number when several answer.</source>
        <translation>Das Qel mit dieser Seriennummer aktualisieren, wenn mehrere antworten.</translation>
    </message>
    <message>
        <source>number</source>
        <translation>Nummer</translation>
    </message>
    <message>
        <source>  Qel %1  firmware %2  %3 port &quot;%4&quot;  %5 port &quot;%6&quot;</source>
        <translation>  Qel %1  Firmware %2  %3-Port &quot;%4&quot;  %5-Port &quot;%6&quot;</translation>
    </message>
    <message>
        <source>No Qel answered on any MIDI port.</source>
        <translation>An keinem MIDI-Port hat ein Qel geantwortet.</translation>
    </message>
    <message>
        <source>No Qel with serial number %1 answered. Found:</source>
        <translation>Kein Qel mit der Seriennummer %1 hat geantwortet. Gefunden:</translation>
    </message>
    <message>
        <source>Several Qels answered; choose one with --serial:</source>
        <translation>Mehrere Qels haben geantwortet; wählen Sie eines mit --serial:</translation>
    </message>
    <message>
        <source>Update every Qel that answers, all at the same time (needs --yes).</source>
        <translation>Jedes Qel, das antwortet, aktualisieren, alle gleichzeitig (braucht --yes).</translation>
    </message>
    <message>
        <source>Print every event as one JSON object per line instead of text.</source>
        <translation>Jedes Ereignis als ein JSON-Objekt je Zeile statt als Text ausgeben.</translation>
    </message>
    <message>
        <source>--all cannot be combined with --%1.</source>
        <translation>--all lässt sich nicht mit --%1 kombinieren.</translation>
    </message>
    <message>
        <source>--%1 writes without asking: add --yes.</source>
        <translation>--%1 schreibt ohne Rückfrage: bitte --yes angeben.</translation>
    </message>
    <message>
        <source>Qel</source>
        <translation>Qel</translation>
    </message>
    <message>
        <source>Ports</source>
        <translation>Ports</translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Meldung</translation>
    </message>
    <message>
        <source>Qel %1: %2</source>
        <translation>Qel %1: %2</translation>
    </message>
    <message>
        <source>a few seconds</source>
        <translation>wenige Sekunden</translation>
    </message>
    <message>
        <source>about %1 s</source>
        <translation>etwa %1 s</translation>
    </message>
    <message>
        <source>The firmware %1 was written.</source>
        <translation>Die Firmware %1 wurde geschrieben.</translation>
    </message>
    <message>
        <source>The firmware %1 was written. The Qel starts it after it is switched off and on.</source>
        <translation>Die Firmware %1 wurde geschrieben. Das Qel startet sie, nachdem es aus- und wieder eingeschaltet wurde.</translation>
    </message>
    <message>
        <source>The device&apos;s MIDI port went away: its interface was unplugged or switched off. Please check the connection, connect again and run the update again.</source>
        <translation>Der MIDI-Port des Geräts ist verschwunden: Seine Schnittstelle wurde abgezogen oder ausgeschaltet. Bitte prüfen Sie die Verbindung, verbinden Sie neu und führen Sie das Update erneut aus.</translation>
    </message>
    <message>
        <source>Written, but not checked: this Qel cannot read its pages back.</source>
        <translation>Geschrieben, aber nicht geprüft: dieses Qel kann seine Seiten nicht zurücklesen.</translation>
    </message>
    <message>
        <source>The firmware %1 was written, but it was not checked: this Qel cannot have its pages read back, so &quot;Verify after writing&quot; is not possible with it.</source>
        <translation>Die Firmware %1 wurde geschrieben, aber nicht geprüft: dieses Qel kann seine Seiten nicht zurücklesen, daher ist „Nach dem Schreiben prüfen“ mit ihm nicht möglich.</translation>
    </message>
    <message>
        <source>The device could not store its list of faulty flash blocks, and its old list had to be cleared to make room. The device needs service: please contact service before using it.</source>
        <translation>Das Gerät konnte seine Liste defekter Flash-Blöcke nicht speichern, und seine alte Liste musste dafür gelöscht werden. Das Gerät muss gewartet werden: Bitte wenden Sie sich an den Service, bevor Sie es benutzen.</translation>
    </message>
    <message>
        <source>Environment:
  QEL_MIDI_API         The MIDI system when neither --api nor --sim is given:
                       alsa, jack, winmm, core or sim. Unset: RtMidi&apos;s default.
  QEL_SIM_DEVICES      With sim: how many simulated Qels, 1 to 16 (default 1).
  QEL_SIM_VERSION      With sim: the firmware they report, e.g. 0x0A01 for 1.10
                       (default 0x0801, 1.08).
  QEL_SIM_FACTORY_BAD  With sim: a new flash with these factory-bad blocks,
                       e.g. 7,8,9,10; 2:7,8,9,10 for the second Qel only.
  QEL_SIM_SILENT       With sim: 1 makes the Qels lose every message.
  QEL_SIM_READS        With sim: what the Qels read back: whole (the whole flash,
                       default), block0, block0-aliased or block0-silent.
  QEL_SIM_SAVE_DIR     With sim: at exit each Qel saves the image it would boot
                       as qel-&lt;serial&gt;.bin in this folder.
</source>
        <translation>Umgebung:
  QEL_MIDI_API         Das MIDI-System, wenn weder --api noch --sim gegeben ist:
                       alsa, jack, winmm, core oder sim. Leer: RtMidis Vorgabe.
  QEL_SIM_DEVICES      Mit sim: wie viele simulierte Qels, 1 bis 16 (Vorgabe 1).
  QEL_SIM_VERSION      Mit sim: die Firmware, die sie melden, z. B. 0x0A01 für
                       1.10 (Vorgabe 0x0801, 1.08).
  QEL_SIM_FACTORY_BAD  Mit sim: ein neuer Flash mit diesen ab Werk defekten
                       Blöcken, z. B. 7,8,9,10; 2:7,8,9,10 nur für den zweiten Qel.
  QEL_SIM_SILENT       Mit sim: 1 lässt die Qels jede Nachricht verlieren.
  QEL_SIM_READS        Mit sim: was die Qels zurücklesen: whole (den ganzen Flash,
                       Vorgabe), block0, block0-aliased oder block0-silent.
  QEL_SIM_SAVE_DIR     Mit sim: beim Beenden legt jedes Qel das Image, das es
                       starten würde, als qel-&lt;serial&gt;.bin in diesem Ordner ab.
</translation>
    </message>
    <message>
        <source>Exit status:
  0  The image was written; the last line says whether the Qel runs it yet.
     Or --list, --find or --info done.
  1  The update failed or was not confirmed, or the built-in image is
     damaged; with --all, a Qel was not written.
  2  The command line was wrong: an unknown option or argument; --sim with
     another --api; --all with --serial, --in, --out, --find, --list or
     --info; --all or --json writing without --yes; a port not found or
     matching several; several Qels answered and no --serial chose one;
     no terminal to ask and no --yes; the --image file unreadable, empty or
     too large.
  3  No MIDI ports, the ports would not open, no Qel answered within 3 s,
     or none has the --serial number.
  4  With --verify: the image was written but not checked, because this Qel
     cannot read its pages back.
130  Stopped by Ctrl-C (SIGINT) or SIGTERM: an update under way was cancelled
     as the window&apos;s Cancel does, never leaving the Qel without its list of
     bad blocks.
</source>
        <translation>Exit-Status:
  0  Das Image wurde geschrieben; die letzte Zeile sagt, ob das Qel es schon
     ausführt. Oder --list, --find oder --info erledigt.
  1  Das Update schlug fehl oder wurde nicht bestätigt, oder das eingebaute
     Image ist beschädigt; mit --all wurde ein Qel nicht beschrieben.
  2  Die Befehlszeile war falsch: eine unbekannte Option oder ein Argument;
     --sim mit einer anderen --api; --all mit --serial, --in, --out, --find,
     --list oder --info; --all oder --json schreibend ohne --yes; ein Port
     nicht gefunden oder mehrdeutig; mehrere Qels antworteten und kein --serial
     wählte einen; kein Terminal zum Fragen und kein --yes; die --image-Datei
     unlesbar, leer oder zu groß.
  3  Keine MIDI-Ports, die Ports ließen sich nicht öffnen, kein Qel antwortete
     innerhalb von 3 s, oder keiner hat die --serial-Nummer.
  4  Mit --verify: das Image wurde geschrieben, aber nicht geprüft, weil dieses
     Qel seine Seiten nicht zurücklesen kann.
130  Mit Strg+C (SIGINT) oder SIGTERM angehalten: ein laufendes Update wurde
     abgebrochen wie mit „Abbrechen“ im Fenster, ohne das Qel je ohne seine
     Liste der defekten Blöcke zu lassen.
</translation>
    </message>
    <message>
        <source>Stopped before writing; nothing was written.</source>
        <translation>Vor dem Schreiben angehalten; nichts wurde geschrieben.</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
    <message>
        <source>Simulated Qel (a demo without hardware)</source>
        <translation>Simuliertes Qel (eine Vorführung ohne Hardware)</translation>
    </message>
    <message>
        <source>Try the updater on a simulated Qel</source>
        <translation>Das Update-Programm an einem simulierten Qel ausprobieren</translation>
    </message>
    <message>
        <source>Search again</source>
        <translation>Erneut suchen</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Asking every MIDI port for a Qel...</source>
        <translation>An jedem MIDI-Port wird nach einem Qel gefragt...</translation>
    </message>
    <message>
        <source>The firmware image could not be loaded (%1), so nothing was sent to the device. Please reload the page and try again.</source>
        <translation>Das Firmware-Abbild konnte nicht geladen werden (%1), daher wurde nichts an das Gerät gesendet. Bitte laden Sie die Seite neu und versuchen Sie es noch einmal.</translation>
    </message>
    <message>
        <source>This browser cannot use MIDI devices: it has no Web MIDI. Please open this page in Chrome, Edge or Opera, on Windows, macOS, Linux or ChromeOS.</source>
        <translation>Dieser Browser kann keine MIDI-Geräte verwenden: Ihm fehlt Web MIDI. Bitte öffnen Sie diese Seite in Chrome, Edge oder Opera, unter Windows, macOS, Linux oder ChromeOS.</translation>
    </message>
    <message>
        <source>The browser allows MIDI only to pages from a secure address. Please open this page from http://127.0.0.1 or http://localhost, or over https.</source>
        <translation>Der Browser erlaubt MIDI nur Seiten von einer sicheren Adresse. Bitte öffnen Sie diese Seite über http://127.0.0.1 oder http://localhost oder über https.</translation>
    </message>
    <message>
        <source>The browser was not allowed to use MIDI devices. Please allow this site to control and reprogram MIDI devices in its site settings (in Chrome: the icon left of the address, then Site settings, MIDI devices: Allow), then reload the page.</source>
        <translation>Der Browser durfte keine MIDI-Geräte verwenden. Bitte erlauben Sie dieser Website in ihren Website-Einstellungen, MIDI-Geräte zu steuern und neu zu programmieren (in Chrome: das Symbol links neben der Adresse, dann Website-Einstellungen, MIDI-Geräte: Zulassen), und laden Sie die Seite dann neu.</translation>
    </message>
    <message>
        <source>The browser allowed this page MIDI, but not the System Exclusive messages that the update needs. Please allow this site full control of MIDI devices in its site settings, then reload the page.</source>
        <translation>Der Browser hat dieser Seite MIDI erlaubt, aber nicht die System-Exclusive-Nachrichten, die das Update braucht. Bitte erlauben Sie dieser Website in ihren Website-Einstellungen die volle Kontrolle über MIDI-Geräte und laden Sie die Seite dann neu.</translation>
    </message>
    <message>
        <source>The browser found no MIDI system on this computer (on Linux it needs the ALSA sequencer). Please check that the computer&apos;s MIDI drivers are installed and working, then reload the page.</source>
        <translation>Der Browser hat auf diesem Computer kein MIDI-System gefunden (unter Linux braucht er den ALSA-Sequencer). Bitte prüfen Sie, ob die MIDI-Treiber des Computers installiert sind und funktionieren, und laden Sie die Seite dann neu.</translation>
    </message>
    <message>
        <source>No MIDI ports found. Please plug in the MIDI interface the Qel is connected to; the lists follow as soon as it appears.</source>
        <translation>Keine MIDI-Ports gefunden. Bitte schließen Sie die MIDI-Schnittstelle an, mit der das Qel verbunden ist; die Listen folgen, sobald sie erscheint.</translation>
    </message>
    <message>
        <source>The browser refused MIDI (%1). Please reload the page; if that does not help, restart the browser.</source>
        <translation>Der Browser hat MIDI verweigert (%1). Bitte laden Sie die Seite neu; hilft das nicht, starten Sie den Browser neu.</translation>
    </message>
    <message>
        <source>The updater could not start in this browser (%1). Please reload the page, or open it in Chrome, Edge or Opera.</source>
        <translation>Das Update-Programm konnte in diesem Browser nicht starten (%1). Bitte laden Sie die Seite neu oder öffnen Sie sie in Chrome, Edge oder Opera.</translation>
    </message>
</context>
</TS>
