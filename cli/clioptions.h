#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for.
struct CliOptions
{
    bool listPorts = false;
    bool infoOnly = false;
    bool assumeYes = false;
    bool verify = false;  // read every written page back
    bool find = false;    // list the Qels that answer, and stop
    QString serial;       // the Qel to update, when several answer
    bool all = false;     // update every Qel that answers, at the same time
    bool json = false;    // events as JSON lines on standard output instead of text
    QString api;        // as QEL_MIDI_API: "sim", "jack", ...; empty for RtMidi's default
    QString inPort;     // index or part of a name; empty chooses by itself
    QString outPort;
    QString imagePath;  // empty: the image built into the tool

    enum class Parse { Run, ShowHelp, ShowVersion, Error };
    // Parses `arguments` (with the program name first). On Error, `message`
    // says what was wrong; on ShowHelp and ShowVersion it holds the text to print.
    static Parse parse(const QStringList &arguments, CliOptions &options, QString &message);
};
