// The report engine without a display: pages broken before the footer,
// group bands at key changes with their own totals, the empty report, and a
// run's cancel questions in their order, answered by a scripted responder,
// and pages kept in a page store read back as they were laid out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "ReportFixture.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/report/ReportRun.h"
#include "platform/ui/report/ReportWriter.h"

namespace kr {
namespace {

using report::DrawOp;
using report::ReportRun;
using report::ReportWriter;

// The texts drawn on a page, top to bottom.
std::vector<std::string> Texts(const report::Page& page) {
    std::vector<const DrawOp*> ops;
    for (const DrawOp& op : page.ops)
        if (op.kind == DrawOp::kText) ops.push_back(&op);
    std::stable_sort(ops.begin(), ops.end(), [](auto* a, auto* b) { return a->y < b->y; });
    std::vector<std::string> out;
    for (auto* op : ops) out.push_back(op->text);
    return out;
}

bool Has(const std::vector<std::string>& v, const std::string& s) { return std::find(v.begin(), v.end(), s) != v.end(); }

TEST(ReportWriter, BreaksPagesBeforeTheFooterWithGroupBandsAndTotals) {
    test::SampleReport r(test::SampleRows());
    ReportWriter w(*r.layout);
    while (r.Read().kind == RecordStep::kDone) w.PrintDetail();
    w.Close();
    ASSERT_EQ(w.PageCount(), 3);
    EXPECT_EQ(w.DetailCount(), 80);
    const auto& pages = w.Pages().pages;
    const int footerTop = 11000 - 500 - 300;
    for (int p = 0; p < 3; ++p) {
        auto t = Texts(pages[p]);
        EXPECT_EQ(t.front(), "Task Amounts");
        EXPECT_EQ(t.back(), "Page    " + std::to_string(p + 1));  // "pPage <<<#p"
        // Every band above the footer stays above it.
        for (const DrawOp& op : pages[p].ops)
            if (op.kind == DrawOp::kText && op.text.rfind("Page", 0) != 0) { EXPECT_LE(op.y + op.height, footerTop); }
    }
    auto p1 = Texts(pages[0]);
    EXPECT_TRUE(Has(p1, "Errands"));
    EXPECT_TRUE(Has(p1, "Errands item 1"));
    // The footer names the group that ended, not the record that ended it,
    // and adds up that group only: 1 + ... + 40.
    auto all = Texts(pages[0]);
    for (int p = 1; p < 3; ++p) {
        auto t = Texts(pages[p]);
        all.insert(all.end(), t.begin(), t.end());
    }
    auto at = std::find(all.begin(), all.end(), "Total of");
    ASSERT_NE(at, all.end());
    EXPECT_EQ(*(at + 1), "Errands");
    EXPECT_EQ(*(at + 2), "40");
    EXPECT_EQ(*(at + 3), "820");
    EXPECT_EQ(*(at + 4), "Category:");
    EXPECT_EQ(*(at + 5), "Work");
    auto at2 = std::find(at + 1, all.end(), "Total of");
    ASSERT_NE(at2, all.end());
    EXPECT_EQ(*(at2 + 1), "Work");
    EXPECT_EQ(*(at2 + 3), "820");
    auto grand = std::find(all.begin(), all.end(), "Grand total");
    ASSERT_NE(grand, all.end());
    EXPECT_EQ(*(grand + 1), "80");
    EXPECT_EQ(*(grand + 2), "1,640");
    // Check boxes carry their state.
    int checked = 0;
    for (const DrawOp& op : pages[0].ops) checked += op.kind == DrawOp::kCheck && op.checked;
    EXPECT_GT(checked, 10);
}

TEST(ReportWriter, EmptyReportIsOnePageWithItsHeadings) {
    test::SampleReport r({});
    ReportWriter w(*r.layout);
    w.Close();
    ASSERT_EQ(w.PageCount(), 1);
    auto t = Texts(w.Pages().pages[0]);
    EXPECT_EQ(t.front(), "Task Amounts");
    EXPECT_FALSE(Has(t, "Category:"));
    EXPECT_TRUE(Has(t, "Grand total"));
    EXPECT_EQ(t.back(), "Page    1");
}

// A layout of `rows` detail bands 220 high between a header and a footer.
report::ReportLayout Rows(int pageWidth, int pageHeight, int margin) {
    report::ReportLayout l;
    l.pageWidth = pageWidth;
    l.pageHeight = pageHeight;
    l.marginLeft = l.marginRight = margin;
    l.pageHeader = report::Band(400, {report::Text(0, 0, 3000, 200, "Rows")});
    l.detail = report::Band(220, {report::Text(0, 0, pageWidth - 2 * margin, 200, "row")});
    l.pageFooter = report::Band(300, {report::PageNumber(0, 50, 1500, 200)});
    return l;
}

int PagesOf(const report::ReportLayout& l, int rows) {
    ReportWriter w(l);
    for (int i = 0; i < rows; ++i) w.PrintDetail();
    w.Close();
    return w.PageCount();
}

TEST(FitToPaper, PagesBreakAtThePapersHeightAndAWideLayoutIsScaledToItsWidth) {
    // A letter-portrait report on letter landscape: same margins, no
    // scaling, fewer rows to a page.
    const report::ReportLayout portrait = Rows(8500, 11000, 500);
    const report::FittedLayout landscape = report::FitToPaper(portrait, 11000, 8500);
    EXPECT_EQ(landscape.scale, 1.0);
    EXPECT_EQ(landscape.layout.pageWidth, 11000);
    EXPECT_EQ(landscape.layout.pageHeight, 8500);
    EXPECT_EQ(landscape.layout.marginLeft, 500);
    EXPECT_EQ(PagesOf(portrait, 100), 3);
    EXPECT_EQ(PagesOf(landscape.layout, 100), 4);

    // The list print's 9,800 units between margins of 600 on letter
    // portrait (7,300 between them): scaled to the paper, the page grows in
    // proportion, and nothing is drawn beyond the right margin.
    const report::ReportLayout list = Rows(11000, 8500, 600);
    const report::FittedLayout fitted = report::FitToPaper(list, 8500, 11000);
    EXPECT_NEAR(fitted.scale, 7300.0 / 9800.0, 1e-9);
    EXPECT_NEAR(fitted.layout.pageWidth * fitted.scale, 8500, 1);
    EXPECT_NEAR(fitted.layout.pageHeight * fitted.scale, 11000, 1);
    ReportWriter w(fitted.layout);
    for (int i = 0; i < 10; ++i) w.PrintDetail();
    w.Close();
    report::RenderedReport pages = w.TakePages();
    pages.scale = fitted.scale;
    pages.paper = QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF());
    for (const DrawOp& op : pages.pages[0].ops) EXPECT_LE((op.x + op.width) * pages.scale, 8500 - 600 * 0.74);

    EXPECT_EQ(report::PaperSize(report::PaperOf(pages)), QSize(8500, 11000));
    // A wider paper than the layout needs is not scaled up.
    EXPECT_EQ(report::FitToPaper(list, 14000, 8500).scale, 1.0);
}

TEST(ReportWriter, GroupOnANewPageAndABandTallerThanAPage) {
    test::SampleReport r(test::SampleRows(3));
    r.layout->groups[0].newPage = true;
    ReportWriter w(*r.layout);
    while (r.Read().kind == RecordStep::kDone) w.PrintDetail();
    w.Close();
    ASSERT_EQ(w.PageCount(), 2);
    EXPECT_TRUE(Has(Texts(w.Pages().pages[1]), "Work"));
    EXPECT_FALSE(Has(Texts(w.Pages().pages[0]), "Work"));

    // A detail taller than the page prints once per page instead of looping.
    test::SampleReport tall(test::SampleRows(2));
    tall.layout->detail.height = 20000;
    ReportWriter t(*tall.layout);
    while (tall.Read().kind == RecordStep::kDone) t.PrintDetail();
    t.Close();
    EXPECT_EQ(t.DetailCount(), 4);
    EXPECT_LE(t.PageCount(), 8);
}

TEST(ReportWriter, DateFieldsTakeTheUserDatePicture) {
    report::ReportLayout l;
    const int32_t day = 81000;
    l.detail = report::Band(200, {report::Field(0, 0, 1000, 200, [&] { return Value(day); }, "d3"),
                                  report::Field(1000, 0, 1000, 200, [&] { return Value(day); }, "@D1"),
                                  report::Field(2000, 0, 1000, 200, [&] { return Value(360001); }, "t3")});
    l.datePicture = "@d17";
    ReportWriter w(l);
    w.PrintDetail();
    w.Close();
    auto t = Texts(w.Pages().pages[0]);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0], Format(Value(day), "@d17"));
    EXPECT_EQ(t[1], Format(Value(day), "@d17"));
    EXPECT_EQ(t[2], ClipLeft(Format(Value(360001), "t3")));  // times keep their picture
}

class ReportRunTest : public ::testing::Test {
protected:
    void SetUp() override { texts_.AskPrvwDialogText = "Do you wish to PREVIEW this Report?"; }
    std::unique_ptr<ReportRun> Run(test::SampleReport& r, bool preview) {
        auto run = std::make_unique<ReportRun>(r.layout, static_cast<int>(r.rows.size()), [&r] { return r.Read(); },
                                               preview, texts_);
        return run;
    }
    std::vector<std::string> Asked() const {
        std::vector<std::string> out;
        for (const auto& s : responder_.shown()) out.push_back(s.request.text);
        return out;
    }
    ScriptedResponder responder_;
    ScopedMessageService scope_{&responder_};
    ReportPreviewTexts texts_;
};

constexpr const char* kSure = "Are you sure you want to CANCEL this Report?";
constexpr const char* kPartial = "Report Cancellation Requested!||Preview Report generated so far?";

TEST_F(ReportRunTest, NoToTheFirstQuestionGoesOn) {
    test::SampleReport r(test::SampleRows());
    auto run = Run(r, true);
    EXPECT_TRUE(run->Step(25));
    responder_.Answer(kButtonNo);
    run->RequestCancel();
    ASSERT_EQ(Asked(), std::vector<std::string>{kSure});
    const MessageRequest q = responder_.shown()[0].request;
    EXPECT_EQ(q.title, "Question");
    EXPECT_EQ(q.icon, MessageIcon::Question);
    EXPECT_EQ(q.buttons, kButtonYes | kButtonNo);
    EXPECT_EQ(q.defaultButton, kButtonNo);
    EXPECT_EQ(run->batchSize(), 25);
    EXPECT_EQ(RunToEnd(*run), ProcessState::Finished);
    EXPECT_EQ(run->outcome(), ReportRun::Outcome::Completed);
    EXPECT_EQ(run->writer().DetailCount(), 80);
}

TEST_F(ReportRunTest, PartialPreviewOfThePagesSoFar) {
    test::SampleReport r(test::SampleRows());
    auto run = Run(r, true);
    run->Step(25);
    responder_.Answer(kButtonYes);
    responder_.Answer(kButtonYes);
    run->RequestCancel();
    EXPECT_EQ(Asked(), (std::vector<std::string>{kSure, kPartial}));
    const MessageRequest q = responder_.shown()[1].request;
    EXPECT_EQ(q.buttons, kButtonYes | kButtonNo | kButtonIgnore);
    EXPECT_EQ(q.defaultButton, kButtonNo);
    EXPECT_FALSE(run->Step(run->batchSize()));
    EXPECT_EQ(run->state(), ProcessState::Finished);
    EXPECT_EQ(run->outcome(), ReportRun::Outcome::PartialPreview);
    EXPECT_EQ(run->writer().DetailCount(), 25);
    EXPECT_TRUE(run->writer().IsClosed());
}

TEST_F(ReportRunTest, IgnoreGoesOnOneRecordAtATimeAndNoShowsNothing) {
    test::SampleReport r(test::SampleRows());
    auto run = Run(r, true);
    run->Step(25);
    responder_.Answer(kButtonYes);
    responder_.Answer(kButtonIgnore);
    run->RequestCancel();
    EXPECT_EQ(run->batchSize(), 1);
    EXPECT_TRUE(run->Step(run->batchSize()));
    EXPECT_EQ(run->done(), 26);

    responder_.Answer(kButtonYes);
    responder_.Answer(kButtonNo);
    run->RequestCancel();
    EXPECT_EQ(Asked(), (std::vector<std::string>{kSure, kPartial, kSure, kPartial}));
    EXPECT_FALSE(run->Step(1));
    EXPECT_EQ(run->state(), ProcessState::Cancelled);
    EXPECT_EQ(run->outcome(), ReportRun::Outcome::Cancelled);
    EXPECT_FALSE(run->writer().IsClosed());
}

TEST_F(ReportRunTest, PrintingOrNoPagesYetAsksOnlyTheFirstQuestion) {
    test::SampleReport r(test::SampleRows());
    auto printing = Run(r, false);
    printing->Step(25);
    responder_.Answer(kButtonYes);
    printing->RequestCancel();
    EXPECT_EQ(Asked(), std::vector<std::string>{kSure});
    EXPECT_FALSE(printing->Step(1));
    EXPECT_EQ(printing->outcome(), ReportRun::Outcome::Cancelled);

    responder_.clear();
    test::SampleReport r2(test::SampleRows());
    auto early = Run(r2, true);
    responder_.Answer(kButtonYes);
    early->RequestCancel();
    EXPECT_EQ(Asked(), std::vector<std::string>{kSure});
    EXPECT_FALSE(early->Step(1));
    EXPECT_EQ(early->outcome(), ReportRun::Outcome::Cancelled);
}

TEST_F(ReportRunTest, ReadErrorEndsTheRunKeepingWhatWasPrinted) {
    test::SampleReport r(test::SampleRows());
    int reads = 0;
    ReportRun run(r.layout, 80, [&]() -> RecordStep {
        if (++reads == 10) return RecordStep::Error("record 10 skipped");
        if (reads == 30) return RecordStep::Fatal("");
        return r.Read();
    }, true, texts_);
    EXPECT_EQ(RunToEnd(run), ProcessState::Finished);
    EXPECT_EQ(run.outcome(), ReportRun::Outcome::Completed);
    EXPECT_EQ(run.writer().DetailCount(), 28);
    EXPECT_EQ(run.errors(), std::vector<std::string>{"record 10 skipped"});
}

TEST_F(ReportRunTest, CancelWithoutConfirmationStopsAtOnceAndShowsNothing) {
    test::SampleReport r(test::SampleRows());
    auto run = Run(r, true);
    run->SetConfirmCancel(false);
    run->Step(10);
    ASSERT_GT(run->writer().PageCount(), 0);
    run->RequestCancel();
    EXPECT_TRUE(responder_.shown().empty()) << "no question is asked";
    run->Step(10);
    EXPECT_FALSE(run->Running());
    EXPECT_EQ(run->outcome(), ReportRun::Outcome::Cancelled);
    EXPECT_EQ(r.next, 10u) << "no record is read after Cancel";
}

TEST_F(ReportRunTest, PreviewQuestionAnswers) {
    responder_.Answer(kButtonYes);
    responder_.Answer(kButtonNo);
    responder_.Answer(kButtonCancel);
    texts_.AskPrvwDialogTitle = "Preview";
    EXPECT_EQ(report::AskPreview(texts_), report::Destination::Preview);
    EXPECT_EQ(report::AskPreview(texts_), report::Destination::Print);
    EXPECT_EQ(report::AskPreview(texts_), report::Destination::Cancelled);
    const MessageRequest q = responder_.shown()[0].request;
    EXPECT_EQ(q.title, "Preview");
    EXPECT_EQ(q.text, "Do you wish to PREVIEW this Report?");
    EXPECT_EQ(q.buttons, kButtonYes | kButtonNo | kButtonCancel);
    EXPECT_EQ(q.defaultButton, kButtonYes);
}

}  // namespace
}  // namespace kr

namespace kr {
namespace {

// The open descriptors of this process on a page store's file.
std::vector<std::string> StoreFiles() {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string target = std::filesystem::read_symlink(e.path(), ec).string();
        if (!ec && target.find("kr-report-") != std::string::npos) out.push_back(target);
    }
    return out;
}

TEST(PageStore, PagesReadBackAsLaidOutAndTheFileGoesWithTheStore) {
    auto rows = test::SampleRows();
    rows.insert(rows.begin() + 3, {"Errands", "M\xc3\xbcller\rJos\xc3\xa9, caf\xc3\xa9", 7});
    test::SampleReport kept(rows), streamed(rows);
    streamed.layout->detail.controls[0].wrap = true;
    kept.layout->detail.controls[0].wrap = true;
    ReportWriter a(*kept.layout);
    while (kept.Read().kind == RecordStep::kDone) a.PrintDetail();
    a.Close();

    const size_t before = StoreFiles().size();
    auto store = report::PageStore::Create();
    ASSERT_TRUE(store);
    ReportWriter b(*streamed.layout);
    b.SetPageSink([&](report::Page&& p) { EXPECT_TRUE(store->Add(p)); });
    while (streamed.Read().kind == RecordStep::kDone) {
        b.PrintDetail();
        // Only the page being laid out stays with the writer.
        EXPECT_LE(b.Pages().pages.size(), 1u);
    }
    b.Close();
    EXPECT_TRUE(b.Pages().pages.empty());
    ASSERT_EQ(b.PageCount(), a.PageCount());
    ASSERT_EQ(store->Count(), a.PageCount());
    for (int p = 0; p < store->Count(); ++p) {
        const report::Page got = store->At(p);
        const report::Page& want = a.Pages().pages[p];
        ASSERT_EQ(got.ops.size(), want.ops.size()) << p;
        for (size_t i = 0; i < got.ops.size(); ++i) {
            const DrawOp &g = got.ops[i], &w = want.ops[i];
            EXPECT_TRUE(g.kind == w.kind && g.x == w.x && g.y == w.y && g.width == w.width && g.height == w.height &&
                        g.text == w.text && g.align == w.align && g.wrap == w.wrap && g.clip == w.clip &&
                        g.checked == w.checked && g.lineWidth == w.lineWidth && g.font.name == w.font.name &&
                        g.font.points == w.font.points && g.font.bold == w.font.bold)
                << "page " << p << " op " << i << ": " << g.text << " / " << w.text;
        }
    }
    // The page numbers count the pages handed on.
    EXPECT_TRUE(Has(Texts(store->At(2)), "Page    3"));
    EXPECT_TRUE(store->At(99).ops.empty());
    // The file has no name in the folder and closes with the store.
    const auto open = StoreFiles();
    ASSERT_EQ(open.size(), before + 1);
    EXPECT_NE(open.back().find("(deleted)"), std::string::npos) << open.back();
    store.reset();
    EXPECT_EQ(StoreFiles().size(), before);
}

}  // namespace
}  // namespace kr
