// What the GUI thread does per exchange, piece by piece: the check bytes of a
// page, building a data page frame, building one PageData message and
// decoding one 92-byte data reply.

#include "devicereplies.h"
#include "pageframe.h"
#include "reply.h"
#include "sysex.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr std::int64_t ImageSize = 3915900;
constexpr int DataReplyBytes = 64;

std::vector<std::uint8_t> randomBytes(std::size_t count)
{
    std::mt19937 rng(109);
    std::vector<std::uint8_t> bytes(count);
    for (std::uint8_t &b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

void pageCheckBytes(benchmark::State &state)
{
    PageFrame frame;
    const std::vector<std::uint8_t> image = randomBytes(PageFrame::Size);
    std::copy(image.begin(), image.end(), frame.bytes.begin());
    for (auto _ : state) {
        computeChunkEcc(frame);
        benchmark::DoNotOptimize(frame.bytes.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * PageFrame::DataSize);
}
BENCHMARK(pageCheckBytes);

void dataPageFrame(benchmark::State &state)
{
    PageFrame frame;
    const std::vector<std::uint8_t> image = randomBytes(ImageSize);
    const int pages = int(ImageSize / PageFrame::DataSize);
    int page = 0;
    for (auto _ : state) {
        const bool last = buildDataFrame(frame, page / 64, page % 64, image.data(), ImageSize);
        benchmark::DoNotOptimize(last);
        benchmark::ClobberMemory();
        page = (page + 1) % pages;
    }
    state.SetBytesProcessed(state.iterations() * PageFrame::DataSize);
}
BENCHMARK(dataPageFrame);

void pageDataMessage(benchmark::State &state)
{
    const std::vector<std::uint8_t> piece = randomBytes(PageFrame::PieceSize);
    for (auto _ : state) {
        const SysExMessage message = buildPageData(piece.data(), PageFrame::PieceSize);
        benchmark::DoNotOptimize(message.bytes.data());
    }
}
BENCHMARK(pageDataMessage);

void decodeDataReply(benchmark::State &state)
{
    // A ReadChunk answer carrying 64 data bytes: 11 + 16 x 5 + 1 = 92 bytes.
    const std::vector<std::uint8_t> data = randomBytes(DataReplyBytes);
    const Bytes message = DeviceReply::data(DeviceReply::answerType(Command::ReadChunk), data.data(), data.size());
    for (auto _ : state) {
        const Reply reply = decodeReply(message.data(), int(message.size()));
        benchmark::DoNotOptimize(reply.code);
        benchmark::DoNotOptimize(reply.data.data());
    }
}
BENCHMARK(decodeDataReply);

} // namespace
