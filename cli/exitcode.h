#pragma once

// What qel-update-cli tells its caller.
enum ExitCode : int {
    ExitSuccess = 0,       // the image was written (or the asked-for listing shown)
    ExitUpdateFailed = 1,  // the update did not complete, or was not confirmed
    ExitUsage = 2,         // the command line was wrong
    ExitNoDevice = 3,      // no ports, or no device answered on them
    ExitNotVerified = 4,   // written, but --verify could not check it: the Qel cannot read its pages back
    ExitInterrupted = 130, // SIGINT or SIGTERM stopped it, as the shell counts a Ctrl-C
};
