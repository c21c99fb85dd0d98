#include "terminalsetup.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004  // older SDK headers lack it
#endif
#endif

TerminalAbilities prepareTerminal(bool outputIsTerminal)
{
    TerminalAbilities abilities;
#ifdef _WIN32
    // The texts go out as UTF-8 bytes; the console must read them so.
    SetConsoleOutputCP(CP_UTF8);
    abilities.escapes = false;
    if (!outputIsTerminal)
        return abilities;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode))
        abilities.escapes = SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
    (void)outputIsTerminal;
#endif
    return abilities;
}
