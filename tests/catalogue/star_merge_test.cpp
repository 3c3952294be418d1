// Merging runs of entries with equal identifiers into stars.
#include "catalogue/star_merge.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <utility>
#include <vector>

#include "tests/support/captured_process.h"
#include "tests/support/case_name.h"

namespace gscmerge::catalogue {
namespace {

using testing::CapturedProcess;
using testing::ProcessOutcome;

struct Entry {
    StarId id;
    double posError;
    double magError;
};

// (bestPos, bestMag) of each star, in star order.
using Choices = std::vector<std::pair<std::int32_t, std::int32_t>>;

struct Merge {
    std::unique_ptr<EntryTable> entries = std::make_unique<EntryTable>();
    std::unique_ptr<StarTable> stars = std::make_unique<StarTable>();

    void load(const std::vector<Entry>& list) {
        entries->entryCount = static_cast<std::int32_t>(list.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            RawEntry& entry = entries->slots.at(i);
            entry.id = list[i].id;
            entry.posError = list[i].posError;
            entry.magError = list[i].magError;
        }
    }

    ProcessOutcome run() {
        CapturedProcess process;
        return process.run([this] { mergeStars(*entries, *stars); });
    }

    [[nodiscard]] Choices choices() const {
        Choices result;
        for (std::int32_t j = 1; j <= stars->starCount; ++j) {
            result.emplace_back(stars->star(j).bestPos, stars->star(j).bestMag);
        }
        return result;
    }
};

struct MergeCase {
    const char* name;
    std::vector<Entry> entries;
    Choices expected;
};

// "(id, position error, magnitude error) ... -> (best position, best magnitude) ..."
void PrintTo(const MergeCase& c, std::ostream* os) {
    for (const Entry& entry : c.entries) {
        *os << "(" << entry.id << ", " << entry.posError << ", " << entry.magError << ") ";
    }
    *os << "->";
    for (const auto& [bestPos, bestMag] : c.expected) {
        *os << " (" << bestPos << ", " << bestMag << ")";
    }
}

class MergeStarsTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeStarsTest, ChoosesTheBestEntriesOfEachRun) {
    Merge merge;
    merge.load(GetParam().entries);
    const ProcessOutcome outcome = merge.run();
    EXPECT_FALSE(outcome.ended);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(merge.choices(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, MergeStarsTest,
    ::testing::Values(
        MergeCase{"OneEntry", {{7, 0.5, 0.1}}, {{1, 1}}},
        // Only neighbours are compared: the second run of 5 is a star of its own.
        MergeCase{"RunsOfEqualNeighbours",
                  {{5, 0.5, 0.1}, {5, 0.4, 0.2}, {7, 0.5, 0.1}, {5, 0.1, 0.1}},
                  {{2, 1}, {3, 3}, {4, 4}}},
        MergeCase{"PositionAndMagnitudeFromDifferentEntries",
                  {{9, 0.5, 0.10}, {9, 0.3, 0.20}, {9, 0.3, 0.05}},
                  {{2, 3}}},
        MergeCase{"EqualErrorsKeepTheFirstEntry", {{9, 0.3, 0.1}, {9, 0.3, 0.1}}, {{1, 1}}},
        // 0.4 is compared with the best so far (0.3), not with its predecessor.
        MergeCase{"ComparedWithTheBestNotThePredecessor",
                  {{9, 0.3, 0.2}, {9, 0.5, 0.4}, {9, 0.4, 0.3}},
                  {{1, 1}}},
        MergeCase{"TheLastEntryMayWin", {{4, 0.9, 0.9}, {4, 0.8, 0.9}, {4, 0.8, 0.7}}, {{2, 3}}},
        // Negative errors order as numbers; a negative zero equals zero.
        MergeCase{"NegativeErrorsAndSignedZeros",
                  {{3, 0.0, -0.1}, {3, -0.0, -0.2}, {3, -0.5, 0.0}},
                  {{3, 2}}},
        MergeCase{"NoEntriesNoStars", {}, {}}),
    testing::caseName<MergeCase>);

// Full tables of runs of one to four entries with errors from a few values
// (ties everywhere), against the choice made run by run.
TEST(MergeStars, AgreesWithARunByRunChoiceOnFullTables) {
    std::uint32_t state = 1;
    const auto below = [&state](std::uint32_t n) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % n;
    };
    for (int table = 0; table < 20; ++table) {
        std::vector<Entry> list;
        while (list.size() < static_cast<std::size_t>(EntryTable::kCapacity)) {
            const auto id = static_cast<StarId>(list.size() % 3 == 0 ? 7 : 8 + below(4));
            const std::uint32_t length = 1 + below(4);
            for (std::uint32_t k = 0; k < length && list.size() < 2000; ++k) {
                list.push_back({id, 0.1 * below(4), 0.05 * below(4)});
            }
        }
        Choices expected;
        for (std::size_t first = 0; first < list.size();) {
            std::size_t end = first + 1;
            while (end < list.size() && list[end].id == list[first].id) ++end;
            std::size_t bestPos = first;
            std::size_t bestMag = first;
            for (std::size_t k = first + 1; k < end; ++k) {
                if (list[k].posError < list[bestPos].posError) bestPos = k;
                if (list[k].magError < list[bestMag].magError) bestMag = k;
            }
            expected.emplace_back(static_cast<std::int32_t>(bestPos + 1),
                                  static_cast<std::int32_t>(bestMag + 1));
            first = end;
        }
        if (expected.size() > static_cast<std::size_t>(StarTable::kCapacity)) continue;
        Merge merge;
        merge.load(list);
        const ProcessOutcome outcome = merge.run();
        ASSERT_FALSE(outcome.ended);
        EXPECT_EQ(merge.choices(), expected) << "table " << table;
    }
}

TEST(MergeStars, NoEntriesIgnoreWhatAnEarlierRegionLeft) {
    Merge merge;
    merge.load({{5, 0.1, 0.1}, {6, 0.1, 0.1}});
    merge.run();
    merge.entries->entryCount = 0;
    merge.run();
    EXPECT_EQ(merge.stars->starCount, 0);
}

TEST(MergeStars, TwoThousandEntriesOfOneStar) {
    std::vector<Entry> list;
    for (int m = 1; m <= 2000; ++m) list.push_back({42, 3000.0 - m, 0.5});
    Merge merge;
    merge.load(list);
    EXPECT_FALSE(merge.run().ended);
    EXPECT_EQ(merge.choices(), (Choices{{2000, 1}}));
}

// 2000 entries forming `runs` runs: the first run takes the entries up to
// the point where each remaining run has one entry, so that the last run
// begins on the last entry.
std::vector<Entry> runsEndingOnTheLastEntry(int runs) {
    std::vector<Entry> list;
    const int firstRun = 2001 - runs;
    for (int m = 1; m <= firstRun; ++m) list.push_back({1, m == 1 ? 0.2 : 0.1, 0.3});
    for (int r = 2; r <= runs; ++r) list.push_back({r, 0.1, 0.1});
    return list;
}

TEST(MergeStars, AThousandRunsAreMerged) {
    Merge merge;
    merge.load(runsEndingOnTheLastEntry(1000));
    EXPECT_FALSE(merge.run().ended);
    ASSERT_EQ(merge.stars->starCount, 1000);
    EXPECT_EQ(merge.choices()[0], (std::pair{2, 1}));
    EXPECT_EQ(merge.choices()[999], (std::pair{2000, 2000}));
}

constexpr char kTooManyStars[] =
    "Error: too many distinct entries in raw file.\r\nStop - Program terminated.\r\n\r\n";

TEST(MergeStars, TheThousandAndFirstRunStopsEvenOnTheLastEntry) {
    Merge merge;
    merge.load(runsEndingOnTheLastEntry(1001));
    const ProcessOutcome outcome = merge.run();
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, kTooManyStars);
    EXPECT_EQ(outcome.err, "");
}

TEST(MergeStars, ARepeatedIdentifierStartsANewStarEachTime) {
    std::vector<Entry> list;
    for (int m = 0; m < 1001; ++m) list.push_back({m % 2, 0.1, 0.1});
    Merge merge;
    merge.load(list);
    const ProcessOutcome outcome = merge.run();
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, kTooManyStars);
}

}  // namespace
}  // namespace gscmerge::catalogue
