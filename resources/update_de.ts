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
        <source>SN:</source>
        <translation>SN:</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Version:</translation>
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
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>try to connect...</source>
        <translation>verbinde...</translation>
    </message>
    <message>
        <source>Transfer</source>
        <translation>Übertragen</translation>
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
        <source>Block:</source>
        <translation>Block:</translation>
    </message>
    <message>
        <source>Page:</source>
        <translation>Seite:</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Trennen</translation>
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
</context>
</TS>
