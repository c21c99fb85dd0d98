// Writes a deterministic stand-in for the device's flash image.
//
//   makeimage OUTPUT [SIZE]      (SIZE defaults to 3915900 bytes)
//
// The bytes look like firmware rather than noise or zeros: a header, then
// modules of Thumb-like code, string tables, lookup tables, 1-bit font glyphs
// and erased-flash padding. The mix is tuned so that zlib shrinks it about
// 4:1, as a real image does; the update path then moves realistic amounts of
// compressed resource data and varied page contents.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t DefaultSize = 3915900;
constexpr std::size_t HeaderSize = 256;
constexpr std::size_t SectorSize = 2048;
constexpr std::uint8_t Erased = 0xFF;
constexpr std::uint32_t FlashBase = 0x08000000;  // where code pointers point
constexpr std::uint8_t VersionMajor = 1;
constexpr std::uint8_t VersionMinor = 9;

// Fixed seed and our own generator: the output must not depend on the
// standard library's distributions.
class Random
{
public:
    std::uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    std::uint32_t below(std::uint32_t n) { return next() % n; }
    // Small values far more often than large ones, as in real operands.
    std::uint32_t skewed(std::uint32_t n) { return below(below(n) + 1); }

private:
    std::uint32_t state = 0x51e1109u;
};

class Writer
{
public:
    explicit Writer(std::size_t size) { bytes.reserve(size); }

    void u8(std::uint32_t v) { bytes.push_back(static_cast<std::uint8_t>(v)); }
    void u16(std::uint32_t v) { u8(v); u8(v >> 8); }
    void u32(std::uint32_t v) { u16(v); u16(v >> 16); }
    void text(const std::string &s) { bytes.insert(bytes.end(), s.begin(), s.end()); u8(0); }
    void padTo(std::size_t alignment, std::uint8_t fill)
    {
        while (bytes.size() % alignment)
            u8(fill);
    }
    std::size_t size() const { return bytes.size(); }
    std::vector<std::uint8_t> bytes;
};

const char *const Words[] = {
    "nand", "block", "page", "erase", "program", "read", "write", "bad", "ecc",
    "midi", "sysex", "rx", "tx", "buffer", "overflow", "timeout", "retry", "voice",
    "patch", "preset", "tempo", "clock", "sync", "filter", "env", "lfo", "osc",
    "mix", "level", "pan", "gate", "note", "velocity", "channel", "bank", "menu",
    "display", "encoder", "button", "led", "init", "done", "fail", "ok", "state",
    "update", "boot", "loader", "flash", "crc", "table", "slot", "queue", "task",
};
constexpr std::uint32_t WordCount = sizeof Words / sizeof Words[0];

std::string identifier(Random &rnd)
{
    std::string s = Words[rnd.below(WordCount)];
    for (std::uint32_t n = rnd.below(3); n; --n)
        s += std::string("_") + Words[rnd.below(WordCount)];
    return s;
}

std::string message(Random &rnd)
{
    static const char *const Forms[] = {"%s: %s failed (%d)", "%s %s ok", "%s: %s %d of %d",
                                        "*** %s %s ***", "%s=%d %s", "ERR %s/%s"};
    const std::string form = Forms[rnd.below(6)];
    std::string out;
    for (std::size_t i = 0; i < form.size(); ++i) {
        if (form[i] == '%' && i + 1 < form.size() && form[i + 1] == 's') {
            out += Words[rnd.below(WordCount)];
            ++i;
        } else {
            out += form[i];
        }
    }
    return out;
}

// One random 16-bit instruction from a handful of patterns, with skewed
// registers and immediates.
void instruction(Writer &w, Random &rnd)
{
    const std::uint32_t rd = rnd.skewed(8), rn = rnd.skewed(8);
    switch (rnd.below(10)) {
    case 0: w.u16(0x2000 | rd << 8 | rnd.skewed(256)); break;          // movs rd, #imm
    case 1: w.u16(0x6800 | rnd.skewed(32) << 6 | rn << 3 | rd); break; // ldr rd, [rn, #off]
    case 2: w.u16(0x6000 | rnd.skewed(32) << 6 | rn << 3 | rd); break; // str rd, [rn, #off]
    case 3: w.u16(0x2800 | rd << 8 | rnd.skewed(64)); break;           // cmp rd, #imm
    case 4: w.u16(0xD000 | rnd.below(14) << 8 | rnd.skewed(40)); break;  // b<cond>
    case 5:                                                            // bl
        w.u16(0xF000 | rnd.skewed(2048));
        w.u16(0xF800 | rnd.below(2048));
        break;
    case 6: w.u16(0x1800 | rnd.skewed(8) << 6 | rn << 3 | rd); break;  // adds rd, rn, rm
    case 7: w.u16(0x4600 | rnd.skewed(16) << 3 | rd); break;           // mov rd, rm
    case 8: w.u16(0x4800 | rd << 8 | rnd.skewed(64)); break;           // ldr rd, [pc, #]
    default: w.u16(rnd.skewed(32) << 6 | rn << 3 | rd); break;         // lsls
    }
}

// Compiled code repeats itself: the same short sequences recur with small
// changes. Functions are built from a fixed pool of such idioms.
class CodeGenerator
{
public:
    explicit CodeGenerator(Random &rnd) : rnd(rnd)
    {
        for (auto &idiom : idioms) {
            Writer w(32);
            for (std::uint32_t n = 3 + rnd.below(10); n; --n)
                instruction(w, rnd);
            idiom = std::move(w.bytes);
        }
    }

    void function(Writer &w)
    {
        w.u16(0xB5F0);                                                 // push {r4-r7, lr}
        for (std::uint32_t n = 2 + rnd.skewed(24); n; --n) {
            const auto &idiom = idioms[rnd.skewed(IdiomCount)];
            w.bytes.insert(w.bytes.end(), idiom.begin(), idiom.end());
            if (rnd.below(3) == 0)
                instruction(w, rnd);
        }
        w.u16(0xBDF0);                                                 // pop {r4-r7, pc}
        w.padTo(4, 0);
        for (std::uint32_t n = rnd.skewed(6); n; --n)
            w.u32(FlashBase + (rnd.below(0x40000) & ~3u));        // literal pool
    }

private:
    static constexpr std::uint32_t IdiomCount = 400;
    Random &rnd;
    std::vector<std::uint8_t> idioms[IdiomCount];
};

void strings(Writer &w, Random &rnd)
{
    for (std::uint32_t n = 8 + rnd.below(24); n; --n)
        w.text(rnd.below(3) ? message(rnd) : identifier(rnd));
    w.padTo(4, 0);
}

void table(Writer &w, Random &rnd)
{
    static const double Amplitudes[] = {127, 2047, 4095, 32767};
    const std::uint32_t entries = 64u << rnd.below(3);
    const double amplitude = Amplitudes[rnd.below(4)];
    switch (rnd.below(3)) {
    case 0:  // sine
        for (std::uint32_t i = 0; i < entries; ++i)
            w.u16(static_cast<std::uint32_t>(std::lround(amplitude * std::sin(6.283185307 * i / entries))));
        break;
    case 1:  // exponential curve
        for (std::uint32_t i = 0; i < entries; ++i)
            w.u16(static_cast<std::uint32_t>(std::lround(amplitude * std::exp(-4.0 * i / entries))));
        break;
    default:  // jump table into the code above
        for (std::uint32_t i = 0; i < entries / 4; ++i)
            w.u32(rnd.below(8) ? FlashBase + 0x1000 + 0x40 * i + 2 * rnd.skewed(4) : 0);
        break;
    }
}

// 8x12 glyphs, set bits in a narrow band as in a real font.
class Font
{
public:
    explicit Font(Random &rnd)
    {
        for (auto &row : rows)
            row = rnd.below(3) ? static_cast<std::uint8_t>(0x7E & rnd.next()) : 0x18;
    }
    void write(Writer &w) const
    {
        for (std::size_t i = 0; i < Glyphs * RowsPerGlyph; ++i) {
            const std::size_t row = i % RowsPerGlyph;
            w.u8(row < 2 || row > 9 ? 0 : rows[i]);
        }
    }

private:
    static constexpr std::size_t Glyphs = 96;
    static constexpr std::size_t RowsPerGlyph = 12;
    std::uint8_t rows[Glyphs * RowsPerGlyph];
};

void header(Writer &w, std::size_t size)
{
    const char magic[8] = {'Q', 'E', 'L', 'F', 'W', '1', '0', '9'};
    for (char c : magic)
        w.u8(static_cast<std::uint8_t>(c));
    w.u8(VersionMajor);
    w.u8(VersionMinor);
    w.u16(0);
    w.u32(static_cast<std::uint32_t>(size));
    w.u32(HeaderSize);
    w.text("Qel main firmware 1.09 (placeholder image)");
    w.padTo(HeaderSize, Erased);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUTPUT [SIZE]\n", argv[0]);
        return 2;
    }
    std::size_t size = DefaultSize;
    if (argc == 3) {
        char *end = nullptr;
        const unsigned long long n = std::strtoull(argv[2], &end, 10);
        if (!end || *end || n == 0 || n > (1ull << 30)) {
            std::fprintf(stderr, "%s: size must be a number of bytes from 1 to 2^30\n", argv[0]);
            return 2;
        }
        size = static_cast<std::size_t>(n);
    }

    Random rnd;
    CodeGenerator code(rnd);
    const Font font(rnd);
    Writer w(size + SectorSize * 4);
    header(w, size);
    while (w.size() < size) {
        for (std::uint32_t n = 4 + rnd.below(12); n; --n)
            code.function(w);
        switch (rnd.below(16)) {
        case 0: case 1: case 2: case 3: case 4: strings(w, rnd); break;
        case 5: case 6: table(w, rnd); break;
        case 7: font.write(w); break;
        default: break;
        }
        // Modules start on a sector boundary; the gap stays erased.
        if (rnd.below(3) == 0)
            w.padTo(SectorSize, Erased);
    }
    w.bytes.resize(size);

    std::FILE *out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(w.bytes.data(), 1, size, out) == size;
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
