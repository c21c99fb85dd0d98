#pragma once

// What the terminal on standard output can do, once it is made ready:
// Windows consoles are switched to UTF-8 and asked to take VT escapes, which
// older ones refuse; a POSIX terminal takes them as it is.
struct TerminalAbilities
{
    bool escapes = true;  // "\x1b[K" erases and "\x1b[nA" moves up
};

TerminalAbilities prepareTerminal(bool outputIsTerminal);
