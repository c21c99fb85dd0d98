// The device model's faults through the browser's C interface: the flash
// that fails, how far its reads reach (who it says it is: tst_cdiscovery). Commands go in as
// the updater builds them; the answers are decoded as the updater reads them.

#include "qeldevice.h"
#include "pageframe.h"
#include "reply.h"
#include "sysex.h"

#include <doctest/doctest.h>

#include <array>
#include <vector>

namespace {

constexpr int ChunksPerBlock = 64 * PageFrame::Chunks;  // ReadChunk addresses of one block

std::vector<Reply> send(QelDevice *device, const SysExMessage &command)
{
    std::vector<Reply> replies;
    std::array<std::uint8_t, 1024> buffer{};
    const std::size_t count = qel_device_handle(device, command.data(), command.size());
    for (std::size_t i = 0; i < count; ++i)
        replies.push_back(decodeReply(buffer.data(), int(qel_device_reply(device, i, buffer.data(), buffer.size()))));
    return replies;
}

// The one answer of a command that changes the flash: true when it failed.
bool fails(QelDevice *device, const SysExMessage &command)
{
    const std::vector<Reply> replies = send(device, command);
    REQUIRE(replies.size() == 1);
    return replies[0].fail;
}

void beginTransfer(QelDevice *device)
{
    REQUIRE(send(device, buildResetNand(1, 9, 100000)).size() == 2);
}

// Programs a whole, correct data page; true when the device says it failed.
bool programFails(QelDevice *device, int block, int page)
{
    REQUIRE(send(device, buildBeginPage(std::uint32_t(block), std::uint8_t(page))).size() == 1);
    PageFrame frame;
    const std::vector<std::uint8_t> image(3000, 0x5A);
    buildDataFrame(frame, 0, page, image.data(), std::int64_t(image.size()));
    for (int piece = 0; piece < PageFrame::Pieces; ++piece) {
        const std::vector<Reply> replies =
            send(device, buildPageData(frame.bytes.data() + PageFrame::pieceOffset(piece), PageFrame::pieceLength(piece)));
        REQUIRE(replies.size() == 1);
        REQUIRE(replies[0].status == 0);
    }
    return fails(device, buildProgramPage());
}

} // namespace

TEST_CASE("flash faults set through the C interface fail what they name, and only that")
{
    QelDevice *device = qel_device_new(QEL_READS_WHOLE_FLASH, 0, 1);
    beginTransfer(device);
    SUBCASE("an erase")
    {
        qel_device_fail_erase(device, 5);
        CHECK(fails(device, buildEraseBlock(5)));
        CHECK_FALSE(fails(device, buildEraseBlock(6)));
    }
    SUBCASE("programming one page")
    {
        qel_device_fail_program(device, 2, 3);
        CHECK_FALSE(fails(device, buildEraseBlock(2)));
        CHECK(programFails(device, 2, 3));
        CHECK_FALSE(programFails(device, 2, 4));
    }
    SUBCASE("programming every page of a block")
    {
        qel_device_fail_program(device, 7, -1);
        CHECK_FALSE(fails(device, buildEraseBlock(7)));
        CHECK(programFails(device, 7, 0));
        CHECK(programFails(device, 7, 63));
        CHECK_FALSE(fails(device, buildEraseBlock(8)));
        CHECK_FALSE(programFails(device, 8, 0));
    }
    SUBCASE("a factory defect: listed in block 0, neither erased nor programmed")
    {
        qel_device_set_factory_defect(device, 9);
        qel_device_set_factory_defect(device, 600);
        // The list's first bytes: marker, marker, the factory count, then the blocks.
        const std::vector<Reply> list = send(device, buildReadChunk(0, 0));
        REQUIRE(list.size() == 1);
        CHECK(list[0].data[0] == PageFrame::ListMarker);
        CHECK(list[0].data[2] == 2);
        CHECK(list[0].data[4] == 9);
        CHECK(list[0].data[6] == (600 & 0xFF));
        CHECK(list[0].data[7] == (600 >> 8));
        CHECK(fails(device, buildEraseBlock(9)));
        CHECK(programFails(device, 9, 0));
    }
    SUBCASE("a new flash: no list in block 0, its factory defects bad all the same")
    {
        qel_device_erase_all(device);
        qel_device_set_factory_defect(device, 9);
        const std::vector<Reply> list = send(device, buildReadChunk(0, 0));
        REQUIRE(list.size() == 1);
        CHECK(list[0].data[0] == 0xFF);
        CHECK(fails(device, buildEraseBlock(9)));
    }
    CHECK(qel_device_violations(device) == 0);
    qel_device_free(device);
}

TEST_CASE("how far the device model's reads reach")
{
    struct Case
    {
        int reads;
        std::size_t answersBeyondBlockZero;
    };
    for (const Case c : {Case{QEL_READS_WHOLE_FLASH, 1}, Case{QEL_READS_BLOCK_ZERO, 1}, Case{QEL_READS_BLOCK_ZERO_SILENT, 0}}) {
        CAPTURE(c.reads);
        QelDevice *device = qel_device_new(c.reads, 0, 1);
        CHECK(send(device, buildReadChunk(0, 0)).size() == 1);
        CHECK(send(device, buildReadChunk(ChunksPerBlock, 0)).size() == c.answersBeyondBlockZero);
        CHECK(send(device, buildReadChunk(5 * ChunksPerBlock + 3, 1)).size() == c.answersBeyondBlockZero);
        qel_device_free(device);
    }
}
