// The event chain as the structure read delivers it: plain events, acquisition intervals paired
// from their range events, the bookmark link offset, and the option that skips events.
#include "structure_walk.h"

namespace tarvik::test {
namespace {

using platform::kFailed;
using platform::kOk;

struct ChainedEvent {
    EvFields fields;
    std::int64_t range = 0;  // ev_ev_range, or -1 - i for the position of event i
    std::vector<std::int64_t> scope = {};
};

// Appends the EV chain of `events` to the minimal file; returns the positions in chain order.
std::vector<std::int64_t> addEvents(MinimalFile& m, const std::vector<ChainedEvent>& events) {
    std::vector<std::int64_t> positions;
    for (const ChainedEvent& event : events) {
        EvFields fields = event.fields;
        fields.scopeCount = static_cast<std::uint32_t>(event.scope.size());
        std::vector<std::int64_t> links{0, 0, 0, 0, 0};
        links.insert(links.end(), event.scope.begin(), event.scope.end());
        positions.push_back(addBlock(m.file, "##EV", links, evData(fields)));
    }
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (i + 1 < events.size()) setLink(m.file, positions[i], 0, positions[i + 1]);
        const std::int64_t range = events[i].range;
        setLink(m.file, positions[i], 2,
                range < 0 ? positions.at(static_cast<std::size_t>(-1 - range)) : range);
    }
    if (!positions.empty()) setLink(m.file, m.hd, 4, positions[0]);
    return positions;
}

constexpr EvFields kPoint{.type = 0};
constexpr EvFields kBegin{.type = 2, .rangeType = 1};
constexpr EvFields kEnd{.type = 2, .rangeType = 2};

TEST_F(StructureWalk, AcquisitionInterruptsPairByRangeLink) {
    MinimalFile m = makeMinimalFile();
    // Two interrupts whose ends come in the opposite order, an end without its begin, a begin
    // without an end, and plain events in between.
    const auto ev = addEvents(m, {{kBegin},                             // 0
                                  {kBegin},                             // 1
                                  {kPoint, 0, {m.cg, m.valueChannel}},  // 2
                                  {kEnd, -2},                           // 3 ends 1
                                  {kEnd, -1},                           // 4 ends 0
                                  {kEnd, -3},                           // 5 "ends" the point event
                                  {kBegin},                             // 6
                                  {EvFields{.type = 5}}});              // 7
    ASSERT_EQ(read(m.file), kOk);
    EXPECT_TRUE(findings_.empty()) << ::testing::PrintToString(warnings());

    const EventChain& chain = hd().events;
    ASSERT_EQ(chain.intervals.size(), 2u);
    EXPECT_EQ(chain.intervals[0].begin.position, ev[1]);
    EXPECT_EQ(chain.intervals[0].end.position, ev[3]);
    EXPECT_EQ(chain.intervals[1].begin.position, ev[0]);
    EXPECT_EQ(chain.intervals[1].end.position, ev[4]);

    EXPECT_EQ(positionsOf(chain.events), (std::vector{ev[2], ev[7]}));
    const EvRecord& point = chain.events.at(0);
    EXPECT_EQ(point.scopeKind, 1u);
    ASSERT_EQ(point.scopeTargets.size(), 2u);
    EXPECT_EQ(point.scopeTargets[0].group, 0);
    EXPECT_EQ(point.scopeTargets[0].channel, -1);
    EXPECT_EQ(point.scopeTargets[1].channel, 1);
    EXPECT_EQ(chain.chainOrder, ev) << "every block of the chain in order, whatever its type";
}

TEST_F(StructureWalk, EventFindingsAndUnknownTypesAreLeftOutWhenSkipping) {
    MinimalFile m = makeMinimalFile();
    const auto ev = addEvents(m, {{EvFields{.type = 9, .syncType = 3, .rangeType = 3}, 0x1001},
                                  {EvFields{.syncType = 0}}});
    ASSERT_EQ(read(m.file), kOk);
    const std::string first = "EV Block at 0x" + hex(ev[0]);
    EXPECT_EQ(errors(),
              (Lines{"108 " + first + ", Field: ev_type, Value: 9",
                     "108 " + first + ", Field: ev_range_type, Value: 3",
                     "108 EV Block at 0x" + hex(ev[1]) + ", Field: ev_sync_type, Value: 0"}));
    EXPECT_EQ(
        warnings(),
        (Lines{"112 " + first + ", Field: ev_ev_range 0x1001",
               "117 " + first + ", ev_ev_range: 0x1001, ev_range_type: 3",
               "121 " + first +
                   ", ev_sync_type: 3 (synchronization value represents distance in meter)"}));
    EXPECT_EQ(positionsOf(hd().events.events), std::vector{ev[1]}) << "type 9 is not delivered";

    ASSERT_EQ(read(m.file, kReadSkipEvents), kOk);
    EXPECT_TRUE(findings_.empty()) << ::testing::PrintToString(errors());
    EXPECT_TRUE(hd().events.events.empty());
    EXPECT_TRUE(hd().events.chainOrder.empty());
    EXPECT_EQ(hd().dataGroups.size(), 1u);

    // Even an event chain that cannot be read at all is not looked at.
    MinimalFile broken = makeMinimalFile();
    setLink(broken.file, broken.hd, 4, broken.dg);
    EXPECT_EQ(read(broken.file), kFailed);
    EXPECT_EQ(errors(), Lines{"103 EV"});
    EXPECT_EQ(read(broken.file, kReadSkipEvents), kOk);
    EXPECT_TRUE(findings_.empty());
}

}  // namespace
}  // namespace tarvik::test
