#pragma once

#include "terminalsetup.h"

#include <QString>
#include <QStringList>

class QJsonObject;

// The terminal the command line talks to: messages, a progress line redrawn
// in place when standard output is a terminal, and a yes/no question. With
// JSON on, standard output carries events only and the text for people
// stays away from it; standard error keeps its messages.
class Console
{
public:
    Console();

    void setJson(bool on) { json = on; }
    bool isJson() const { return json; }
    // One compact JSON line on standard output, in JSON mode only.
    void event(const QJsonObject &object);

    void say(const QString &text);      // standard output
    void complain(const QString &text); // standard error
    // Redraws the progress line on a terminal; elsewhere prints it as a line.
    void progress(const QString &line);
    // One line per entry, a block redrawn in place on a terminal as long as
    // nothing was said in between; elsewhere printed as lines.
    void progressBlock(const QStringList &lines);
    // Ends a progress line left open on the terminal.
    void endProgress();
    bool outputIsTerminal() const { return outTerminal; }
    bool inputIsTerminal() const { return inTerminal; }
    // Asks on the terminal; true only for an answer of yes.
    bool confirm(const QString &question);

private:
    // A line redrawn in place over the one before.
    QString redrawn(const QString &line);

    bool outTerminal;
    bool inTerminal;
    TerminalAbilities abilities;
    int drawnLength = 0;  // of the progress line on screen, where it must be overwritten with blanks
    bool progressOpen = false;
    int blockLines = 0;  // lines of the block on screen above the cursor
    bool json = false;
};
