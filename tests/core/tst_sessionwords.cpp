// What the desktop and the page both say about a device and an update: the
// time-left estimate, the version check, the durations, and the phrases as
// English and as the JSON the page reads.

#include "etaestimator.h"
#include "firmwareversion.h"
#include "phrase.h"
#include "sessiontexts.h"
#include "updateduration.h"

#include <doctest/doctest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Samples = std::vector<std::pair<int, int>>;  // ms since the start, pages done

// Progress reports from `from` to `to` pages, one every `msPerPage`, after
// those already in `samples`.
Samples pages(Samples samples, int from, int to, int msPerPage)
{
    int ms = samples.empty() ? 0 : samples.back().first + msPerPage;
    for (int done = from; done <= to; ++done, ms += msPerPage)
        samples.emplace_back(ms, done);
    return samples;
}

bool has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_CASE("the time left comes from the rate of the last block")
{
    struct Case
    {
        const char *name;
        Samples samples;  // of 300 pages
        std::int64_t remainingMs;
    };
    const Case cases[] = {
        {"no rate yet", {{0, 0}}, EtaEstimator::Unknown},
        {"steady", pages({}, 0, 100, 10), 200 * 10},
        {"the last block's rate", pages(pages({}, 0, 100, 50), 101, 200, 10), 100 * 10},
        // Block 3 failed on its page 40: written again from its page 0
        // elsewhere, which drops progress back; the estimate goes on from there.
        {"block written again", pages(pages({}, 0, 100, 10), 61, 161, 10), 139 * 10},
    };
    for (const Case &c : cases) {
        CAPTURE(std::string(c.name));
        EtaEstimator eta;
        eta.addSample(0, 0, 300);
        eta.addSample(10, 50, 300);
        eta.reset();  // the previous update's rate counts for nothing
        for (const auto &sample : c.samples)
            eta.addSample(sample.first, sample.second, 300);
        CHECK(eta.remainingMs() == c.remainingMs);
    }
}

TEST_CASE("versions: the minor number in the high byte, the verdict and the question")
{
    using O = FirmwareVersion::Order;
    struct Case
    {
        std::uint32_t word;
        const char *text;
        O order;
        const char *verdictHas;
    };
    const Case cases[] = {
        {0x0801, "1.08", O::Older, "older"},
        {0x0901, "1.09", O::Same, "up to date"},
        {0x0A01, "1.10", O::Newer, "downgrade"},
        // 2.00 is newer than 1.63.
        {0x0002, "2.00", O::Newer, "downgrade"},
        {0x3F01, "1.63", O::Newer, "downgrade"},
    };
    CHECK(FirmwareVersion::carried() == 0x0901);
    for (const Case &c : cases) {
        CAPTURE(std::string(c.text));
        CHECK(FirmwareVersion::text(c.word) == c.text);
        CHECK(FirmwareVersion::compareWithCarried(c.word) == c.order);
        const std::string verdict = FirmwareVersion::verdict(c.word).english();
        CHECK(has(verdict, c.verdictHas));
        CHECK(has(verdict, c.text));
        // The question before writing names both versions, a downgrade as one.
        const std::string question = UpdateDuration::confirmation(c.word, 151000).english();
        CAPTURE(question);
        CHECK(has(question, c.text));
        CHECK(has(question, "1.09"));
        CHECK(has(question, "?\n\nThis takes about 3 min."));
        CHECK(has(question, "connected and powered"));
        CHECK(has(question, "owngrade") == (c.order == O::Newer));
    }
}

TEST_CASE("durations are said in a few seconds, tens of seconds or whole minutes")
{
    const std::pair<std::int64_t, const char *> cases[] = {
        {0, "a few seconds"},
        {9200, "about 10 s"},
        {44000, "about 40 s"},
        {115000, "about 2 min"},  // not "about 120 s"
        {151000, "about 3 min"},
        {2549000, "about 42 min"},
    };
    for (const auto &[ms, spoken] : cases) {
        const std::int64_t said = ms;  // a structured binding cannot be captured
        CAPTURE(said);
        CHECK(UpdateDuration::expectedText(ms).english() == spoken);
        CHECK(UpdateDuration::remainingText(ms).english() == std::string(spoken) + " left");
    }
    // 1913 pages of 35 exchanges, 30 erases, and the set-up, at 1 ms each.
    CHECK(UpdateDuration::expectedMs(1000, 3915900) == 1913 * 35 + 30 + 16);
    // Reading back costs 32 exchanges more a page.
    CHECK(UpdateDuration::exchanges(3915900, true) == 1913 * (35 + 32) + 30 + 16);
}

TEST_CASE("a phrase as the page reads it: JSON strings escaped, arguments nested")
{
    CHECK(Phrase::plain("Reset NAND").json() == "\"Reset NAND\"");
    CHECK(Phrase::plain("a \"quoted\" back\\slash\nnew line\ttab\x01").json()
          == "\"a \\\"quoted\\\" back\\\\slash\\nnew line\\ttab\\u0001\"");
    CHECK(Phrase::plain("Grüße").json() == "\"Grüße\"");  // UTF-8 as it is
    CHECK(Phrase::text("no arguments").json() == "{\"text\":\"no arguments\",\"args\":[]}");

    const Phrase question = UpdateDuration::confirmation(0x0801, 44000);
    CHECK(question.json()
          == "[{\"text\":\"Update the Qel from firmware %1 to %2?\",\"args\":[\"1.08\",\"1.09\"]},\"\\n\\n\","
             "{\"text\":\"This takes %1. The Qel must stay connected and powered until the update has finished; "
             "an interrupted update leaves it unable to start.\",\"args\":[{\"text\":\"about %1 s\",\"args\":[\"40\"]}]}]");

    // The outcome texts carry quotation marks of their own.
    const std::string notVerified = SessionTexts::outcomeMessage({UpdateOutcome::NotVerified, 0}).json();
    CHECK(has(notVerified, "so \\\"Verify after writing\\\" is not possible"));
    CHECK(SessionTexts::outcomeMessage({UpdateOutcome::FlashUnhealthy, 5}).english().find("has 5 blocks") != std::string::npos);
    // Trace lines nobody translates are said as they are, numbers put in.
    CHECK(SessionTexts::traceLine({TraceKind::EraseBlockOk, 17}).json() == "\"Erase block 17 ok\"");
    CHECK(SessionTexts::traceLine({TraceKind::ReadBbl, 0}).json() == "{\"text\":\"read BBL\\n\",\"args\":[]}");
}

TEST_CASE("arguments are put in once: what is put in is not read again")
{
    CHECK(fillIn("%1 and %2", {"%2", "b"}) == "%2 and b");
    CHECK(fillIn("%2, then %1, %2 again", {"a", "b"}) == "b, then a, b again");
    CHECK(fillIn("100% of %1; %3 stays", {"x"}) == "100% of x; %3 stays");
    const Phrase nested = Phrase::text("%1!", {Phrase::text("<%1>", {Phrase::plain("%1")})});
    CHECK(nested.english() == "<%1>!");
}
