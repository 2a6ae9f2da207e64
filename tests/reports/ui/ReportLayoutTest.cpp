// Every fixed text of every report layout, heading, label and check box
// label, measured in the font the pages are drawn in against its box: each
// prints whole, on one line, at its full height.
#include <gtest/gtest.h>

#include "platform/ui/report/ReportText.h"
#include "reports/windows/ReportLayouts.h"

namespace kr::reports {
namespace {

using namespace report;

struct Named {
    std::string name;
    std::shared_ptr<ReportLayout> layout;
};

std::vector<Named> EveryLayout() {
    auto notes = [] { return Value(std::string()); };
    return {{"full task list", FullTaskLayout()},
            {"one category", OneCategoryLayout("General")},
            {"category list", CategoryListLayout()},
            {"brief", BriefLayout("Schedule in Brief", false)},
            {"complete brief", BriefLayout("Complete Schedule in Brief", true)},
            {"checklist", ChecklistLayout("Schedule", false)},
            {"complete checklist", ChecklistLayout("Complete Schedule", true)},
            {"to-do by priority", ToDoLayout("To Do List - By Priority", notes)},
            {"to-do by category", ToDoLayout("To Do List - Contact Category1234", notes)},
            {"contacts", ContactsLayout()}};
}

TEST(ReportLayouts, EveryFixedTextFitsItsBoxInTheReportFont) {
    int measured = 0;
    for (const Named& n : EveryLayout()) {
        const ReportLayout& l = *n.layout;
        std::vector<const Band*> bands = {&l.pageHeader, &l.detail, &l.closing, &l.pageFooter};
        for (const Group& g : l.groups) {
            bands.push_back(&g.header);
            bands.push_back(&g.footer);
        }
        for (const Band* b : bands)
            for (const Control& c : b->controls) {
                if (c.kind != Control::kText && c.kind != Control::kCheck) continue;
                if (c.text.empty()) continue;
                const Font& f = c.useFont ? c.font : l.font;
                const int room = c.kind == Control::kCheck ? CheckLabelRoom(f, c.width) : c.width;
                EXPECT_LE(TextWidth(f, c.text), room) << n.name << ": \"" << c.text << "\"";
                EXPECT_LE(LineHeight(f), c.height) << n.name << ": \"" << c.text << "\"";
                EXPECT_LE(c.x + c.width, l.pageWidth - l.marginLeft - l.marginRight) << n.name << ": " << c.text;
                ++measured;
            }
    }
    EXPECT_GT(measured, 60);
}

}  // namespace
}  // namespace kr::reports
