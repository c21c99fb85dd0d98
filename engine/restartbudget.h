#pragma once

// How many times in a row a page or a block may be written again before the
// update counts as stalled. On a link that loses one message in a hundred, a
// page gets through at every other try and a block's 64 pages at every
// fourth: forty failed tries in a row mean something else.
class RestartBudget
{
public:
    static constexpr int MaxRestartsInARow = 40;

    // Count a restart; false when the update is stalled.
    bool pageRestart() { return ++pageRestarts < MaxRestartsInARow; }
    bool blockRestart() { return ++blockRestarts < MaxRestartsInARow; }
    void pageProgrammed() { pageRestarts = 0; }
    void blockWritten() { blockRestarts = 0; }

private:
    int pageRestarts = 0;
    int blockRestarts = 0;
};
