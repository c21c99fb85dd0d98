// The browser's C interface, driven as web/driveupdate.js drives it in node:
// commands taken one at a time, replies handed back, a tick whenever
// nothing is in flight.

#include "qeldevice.h"
#include "qelupdate.h"

#include <doctest/doctest.h>

#include <array>
#include <string>
#include <vector>

namespace {

constexpr int MaxTicks = 200000;
constexpr int MaxCommands = 200000;  // an update that talks in circles ends the run, it does not hang it

std::vector<std::uint8_t> makeImage(std::size_t size)
{
    std::vector<std::uint8_t> image(size);
    std::uint32_t x = 0xC0FFEEu;
    for (std::uint8_t &b : image)
        b = std::uint8_t((x = x * 1664525u + 1013904223u) >> 24);
    return image;
}

struct Run
{
    std::string outcome;
    bool holds = false;
    std::size_t violations = 0;
    int losses = 0;
    int pagesDone = 0;
    int pagesTotal = 0;
};

Run drive(int reads, double loss, std::uint32_t seed, bool verify, const std::vector<std::uint8_t> &image)
{
    QelDevice *device = qel_device_new(reads, loss, seed);
    QelUpdate *update = qel_update_new();
    qel_update_start(update, image.data(), image.size(), verify ? 1 : 0);
    std::array<std::uint8_t, 1024> command{};
    std::array<std::uint8_t, 1024> reply{};
    int commands = 0;
    for (int ticks = 0; qel_update_outcome(update) == QEL_RUNNING && ticks < MaxTicks && commands < MaxCommands;) {
        const std::size_t length = qel_update_next_command(update, command.data(), command.size());
        if (length == 0) {
            qel_update_tick(update);
            ++ticks;
            continue;
        }
        ++commands;
        const std::size_t replies = qel_device_handle(device, command.data(), length);
        for (std::size_t i = 0; i < replies; ++i)
            qel_update_take_message(update, reply.data(), qel_device_reply(device, i, reply.data(), reply.size()));
    }
    Run run;
    run.outcome = qel_outcome_name(qel_update_outcome(update));
    run.holds = qel_device_holds(device, image.data(), image.size()) == 1;
    run.violations = qel_device_violations(device);
    run.losses = qel_device_losses(device);
    run.pagesDone = qel_update_pages_done(update);
    run.pagesTotal = qel_update_pages_total(update);
    qel_update_free(update);
    qel_device_free(device);
    return run;
}

} // namespace

TEST_CASE("whole updates through the C interface")
{
    struct Case
    {
        const char *name;
        int reads;
        double loss;
        std::uint32_t seed;
        bool verify;
        const char *outcome;
    };
    const Case cases[] = {
        {"whole flash", QEL_READS_WHOLE_FLASH, 0, 1, false, "success"},
        {"block 0, verifying", QEL_READS_BLOCK_ZERO, 0, 1, true, "not_verified"},
        {"whole flash, losses, verifying", QEL_READS_WHOLE_FLASH, 0.004, 7, true, "success"},
        {"block 0, losses", QEL_READS_BLOCK_ZERO, 0.004, 11, false, "success"},
        {"nothing arrives", QEL_READS_WHOLE_FLASH, 1, 1, false, "device_silent"},
    };
    const std::vector<std::uint8_t> image = makeImage(70 * 2048 - 77);
    for (const Case &c : cases) {
        const std::string name = c.name;
        CAPTURE(name);
        const Run run = drive(c.reads, c.loss, c.seed, c.verify, image);
        CHECK(run.outcome == c.outcome);
        CHECK(run.violations == 0);
        CHECK((run.losses > 0) == (c.loss > 0));
        const bool written = run.outcome == "success" || run.outcome == "not_verified";
        CHECK(run.holds == written);
        if (run.outcome == "success")
            CHECK(run.pagesDone == run.pagesTotal);
    }
}

TEST_CASE("the C interface hands out a command only whole")
{
    QelUpdate *update = qel_update_new();
    const std::vector<std::uint8_t> image = makeImage(100);
    qel_update_start(update, image.data(), image.size(), 0);
    std::array<std::uint8_t, 1024> buffer{};
    const std::size_t needed = qel_update_next_command(update, buffer.data(), 4);
    CHECK(needed > 4);
    // Too small a buffer takes nothing: the same command comes whole next time.
    CHECK(qel_update_next_command(update, buffer.data(), buffer.size()) == needed);
    CHECK(buffer[0] == 0xF0);
    CHECK(buffer[needed - 1] == 0xF7);
    CHECK(std::string(qel_outcome_name(qel_update_outcome(update))) == "running");
    qel_update_cancel(update);
    CHECK(std::string(qel_outcome_name(qel_update_outcome(update))) != "running");
    qel_update_free(update);

    update = qel_update_new();
    qel_update_start(update, nullptr, 0, 0);
    CHECK(std::string(qel_outcome_name(qel_update_outcome(update))) == "no_image");
    CHECK(qel_update_next_command(update, buffer.data(), buffer.size()) == 0);
    qel_update_free(update);
}
