// The snapshot the link thread takes by itself after the first good poll
// of a meter whose serial number the open link has not met yet.

#include "link_test_support.h"

#include <algorithm>

namespace {

int CountOf(const RecordingFront& front, SnapshotKind kind)
{
    return static_cast<int>(std::count_if(front.readings.begin(), front.readings.end(),
                                          [kind](const ConfigReading& r) { return r.kind == kind; }));
}

} // namespace

class SnapshotCommandTest : public LinkTest {
protected:
    // A poll and the one after it: once the second has refreshed, whatever
    // the first read after it has been handed over.
    bool PollAndSettle() { return RunPoll() && RunPoll(); }
};

TEST_F(SnapshotCommandTest, AsFoundOncePerMeterAndOpenAndNeverWhenOff)
{
    struct Step {
        const char* what;
        std::function<void()> arrange;
        int asFoundAfter;
    };
    sim->SetFloat(2000, 1111.0f);
    const std::vector<Step> steps = {
        {"first polls", [] {}, 1},
        {"polls of the same meter", [] {}, 1},
        {"another meter on the line", [&] { sim->SetFloat(2000, 2222.0f); }, 2},
        {"the first one back", [&] { sim->SetFloat(2000, 1111.0f); }, 2},
        {"reopened", [&] {
             link->CloseLink();
             ASSERT_TRUE(link->OpenLink(sim->PortPath(), 115200, kTimeoutMs, 1));
         }, 3},
        {"switched off and reopened", [&] {
             link->SetAsFoundSnapshots(false);
             link->CloseLink();
             ASSERT_TRUE(link->OpenLink(sim->PortPath(), 115200, kTimeoutMs, 1));
         }, 3},
    };
    link->SetAsFoundSnapshots(true);
    for (const Step& step : steps) {
        step.arrange();
        ASSERT_TRUE(PollAndSettle()) << step.what;
        EXPECT_EQ(CountOf(front, SnapshotKind::AsFound), step.asFoundAfter) << step.what;
    }
    EXPECT_TRUE(front.errors.empty());
    ASSERT_EQ(front.readings.size(), 3u);
    EXPECT_EQ(front.readings[0].serial, "1111.000000");
    EXPECT_EQ(front.readings[1].serial, "2222.000000");
    EXPECT_EQ(front.readings[2].serial, "1111.000000");
    EXPECT_FALSE(front.readings[0].text.empty());
}
