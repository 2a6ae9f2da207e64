// Whole-table work in batches: counting, per-record errors that do not stop
// the work, a fatal error that does, and cancelling between records.
#include <gtest/gtest.h>

#include "platform/runtime/RecordProcess.h"

namespace kr {
namespace {

// A table of n records worked through in order; the records named in
// `failing` fail, the one named `fatal` ends the work.
struct Table {
    int n = 0;
    int next = 0;
    std::vector<int> failing;
    int fatal = -1;
    RecordStep Work() {
        if (next >= n) return RecordStep::End();
        const int r = ++next;
        if (r == fatal) return RecordStep::Fatal("cannot read on from " + std::to_string(r));
        for (int f : failing)
            if (r == f) return RecordStep::Error("record " + std::to_string(r));
        return RecordStep::Done();
    }
};

TEST(RecordProcess, ErrorsAreReportedAfterTheirBatchAndTheWorkGoesOn) {
    Table t;
    t.n = 10000;
    t.failing = {7, 9001};
    RecordProcess p(10000, [&] { return t.Work(); });
    int batches = 0, opened = 0;
    p.beginBatch = [&] { ++opened; };
    p.endBatch = [&] { --opened; };
    std::vector<std::pair<std::string, int>> seen;  // text, records done when it was shown
    p.onError = [&](const std::string& e) {
        EXPECT_EQ(opened, 0) << "shown while a batch was open";
        seen.push_back({e, p.done()});
    };
    p.onProgress = [&] { ++batches; };
    ProcessState ended = ProcessState::Running;
    p.onEnd = [&](ProcessState s) { ended = s; };
    p.SetBatchSize(25);
    EXPECT_EQ(p.Percent(), 0);
    EXPECT_EQ(RunToEnd(p), ProcessState::Finished);
    EXPECT_EQ(ended, ProcessState::Finished);
    EXPECT_EQ(p.done(), 10000);
    EXPECT_EQ(p.Percent(), 100);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, "record 7");
    EXPECT_EQ(seen[0].second, 25);  // at the end of the first batch
    EXPECT_EQ(seen[1].first, "record 9001");
    EXPECT_EQ(p.errors(), (std::vector<std::string>{"record 7", "record 9001"}));
    EXPECT_EQ(batches, 401);  // 400 full batches and the one that finds the end
}

TEST(RecordProcess, FatalErrorEndsTheWorkAsFailed) {
    Table t;
    t.n = 100;
    t.fatal = 30;
    RecordProcess p(100, [&] { return t.Work(); });
    p.SetBatchSize(25);
    EXPECT_EQ(RunToEnd(p), ProcessState::Failed);
    EXPECT_EQ(p.done(), 30);
    EXPECT_EQ(p.errors(), (std::vector<std::string>{"cannot read on from 30"}));
    EXPECT_FALSE(p.Step(25));
    EXPECT_EQ(t.next, 30);
}

TEST(RecordProcess, CancelStopsBeforeTheNextRecord) {
    Table t;
    t.n = 1000;
    RecordProcess* self = nullptr;
    RecordProcess p(1000, [&] {
        // Asked while record 41 is worked on (from another thread, say):
        // that record is finished, no further one is started.
        if (t.next == 40) self->Cancel();
        return t.Work();
    });
    self = &p;
    EXPECT_TRUE(p.Step(25));
    EXPECT_FALSE(p.Step(25));
    EXPECT_EQ(p.state(), ProcessState::Cancelled);
    EXPECT_EQ(p.done(), 41);
    EXPECT_EQ(p.Percent(), 4);
    EXPECT_FALSE(p.Step(25));
    EXPECT_EQ(t.next, 41);
}

TEST(RecordProcess, PercentStaysInRangeWhenTheTotalIsOff) {
    // More records than counted at the start (rows added meanwhile), and a
    // total of 0 (unknown).
    Table t;
    t.n = 60;
    RecordProcess p(50, [&] { return t.Work(); });
    RunToEnd(p);
    EXPECT_EQ(p.done(), 60);
    EXPECT_EQ(p.total(), 60);
    EXPECT_EQ(p.Percent(), 100);

    RecordProcess empty(0, [] { return RecordStep::End(); });
    EXPECT_EQ(empty.Percent(), 0);
    RunToEnd(empty);
    EXPECT_EQ(empty.Percent(), 100);
}

}  // namespace
}  // namespace kr
