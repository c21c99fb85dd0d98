#pragma once

#include <QString>

// The terminal the command line talks to: messages, a progress line redrawn
// in place when standard output is a terminal, and a yes/no question.
class Console
{
public:
    Console();

    void say(const QString &text);      // standard output
    void complain(const QString &text); // standard error
    // Redraws the progress line on a terminal; elsewhere prints it as a line.
    void progress(const QString &line);
    // Ends a progress line left open on the terminal.
    void endProgress();
    bool outputIsTerminal() const { return outTerminal; }
    bool inputIsTerminal() const { return inTerminal; }
    // Asks on the terminal; true only for an answer of yes.
    bool confirm(const QString &question);

private:
    bool outTerminal;
    bool inTerminal;
    bool progressOpen = false;
};
