<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>MainWindow</name>
    <message>
        <location filename="../app/mainwindow.ui" line="20"/>
        <source>Qel Update</source>
        <translation>Qel-Aktualisierung</translation>
    </message>
    <message>
        <location filename="../app/mainwindow.ui" line="33"/>
        <source>Qel information</source>
        <translation>Qel-Informationen</translation>
    </message>
    <message>
        <location filename="../app/mainwindow.ui" line="72"/>
        <source>SN:</source>
        <translation>SN:</translation>
    </message>
    <message>
        <location filename="../app/mainwindow.ui" line="112"/>
        <source>Version:</source>
        <translation>Version:</translation>
    </message>
    <message>
        <location filename="../app/mainwindow.ui" line="132"/>
        <source>MIDI IN port</source>
        <translation>MIDI-IN-Port</translation>
    </message>
    <message>
        <location filename="../app/mainwindow.ui" line="155"/>
        <source>MIDI OUT port</source>
        <translation>MIDI-OUT-Port</translation>
    </message>
    <message>
        <location filename="../app/mainwindow.ui" line="178"/>
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <location filename="../app/mainwindow.ui" line="191"/>
        <source>try to connect...</source>
        <translation>verbinde...</translation>
    </message>
    <message>
        <location filename="../app/mainwindow.ui" line="204"/>
        <source>Transfer</source>
        <translation>Übertragen</translation>
    </message>
    <message>
        <location filename="../app/mainwindow.ui" line="230"/>
        <source>TextLabel</source>
        <translation>Textfeld</translation>
    </message>
    <message>
        <location filename="../app/mainwindow.ui" line="253"/>
        <source>NAND Information</source>
        <translation>NAND-Informationen</translation>
    </message>
    <message>
        <location filename="../app/mainwindow.ui" line="265"/>
        <source>Block:</source>
        <translation>Block:</translation>
    </message>
    <message>
        <location filename="../app/mainwindow.ui" line="284"/>
        <source>Page:</source>
        <translation>Seite:</translation>
    </message>
    <message>
        <location filename="../app/mainwindow.cpp" line="26"/>
        <source>Update</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Trennen</translation>
    </message>
</context>
</TS>
