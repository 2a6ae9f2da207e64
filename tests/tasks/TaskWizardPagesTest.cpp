// The add-task wizards' page order for every task type, walked forwards and
// back, and what sets the three wizards apart.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tasks/TaskWizardPages.h"

namespace kr::tasks {
namespace {

std::vector<int> Forward(TaskWizard w, const std::string& type) {
    std::vector<int> pages = {1};
    for (int p = 1, n; (n = NextWizardPage(w, p, type)) != p; p = n) pages.push_back(n);
    return pages;
}
std::vector<int> Backward(TaskWizard w, const std::string& type) {
    std::vector<int> pages = {TraitsOf(w).pages};
    for (int p = TraitsOf(w).pages, n; (n = BackWizardPage(w, p, type)) != p; p = n) pages.push_back(n);
    return pages;
}

TEST(TaskWizardPages, GeneralWizardPassesOverThePagesATypeDoesNotUse) {
    const auto g = TaskWizard::General;
    using V = std::vector<int>;
    EXPECT_EQ(Forward(g, "Both"), (V{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Forward(g, "Run Program"), (V{1, 2, 3, 5, 6}));
    EXPECT_EQ(Forward(g, "Display Message"), (V{1, 2, 4, 5, 6}));
    EXPECT_EQ(Forward(g, "None"), (V{1, 2, 4, 5, 6}));  // its Command page is hidden
    // Back retraces the way Next came.
    EXPECT_EQ(Backward(g, "Both"), (V{6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(Backward(g, "Run Program"), (V{6, 5, 3, 2, 1}));
    EXPECT_EQ(Backward(g, "Display Message"), (V{6, 5, 4, 2, 1}));
    EXPECT_EQ(Backward(g, "None"), (V{6, 5, 4, 2, 1}));
    // Changing the type on the Task page changes the way on.
    EXPECT_EQ(BackWizardPage(g, kPageMessage, "Display Message"), kPageCategory);
    EXPECT_EQ(NextWizardPage(g, kPageAdvanced, "Both"), kPageAdvanced);
    EXPECT_EQ(BackWizardPage(g, kPageTask, "Both"), kPageTask);
}

TEST(TaskWizardPages, ProgramAndMessageWizardsGoInOrder) {
    using V = std::vector<int>;
    EXPECT_EQ(Forward(TaskWizard::Program, "Run Program"), (V{1, 2, 3, 4}));
    EXPECT_EQ(Backward(TaskWizard::Program, "Run Program"), (V{4, 3, 2, 1}));
    EXPECT_EQ(Forward(TaskWizard::Message, "Display Message"), (V{1, 2, 3}));
    EXPECT_EQ(Backward(TaskWizard::Message, "Display Message"), (V{3, 2, 1}));
}

TEST(TaskWizardPages, TraitsSetTheWizardsApart) {
    const TaskWizardTraits& g = TraitsOf(TaskWizard::General);
    const TaskWizardTraits& p = TraitsOf(TaskWizard::Program);
    const TaskWizardTraits& m = TraitsOf(TaskWizard::Message);
    EXPECT_STREQ(g.taskType, "Both");
    EXPECT_STREQ(p.taskType, "Run Program");
    EXPECT_STREQ(m.taskType, "Display Message");
    EXPECT_TRUE(g.commandRequired && g.messageRequired);
    EXPECT_TRUE(p.commandRequired && !p.messageRequired);
    EXPECT_TRUE(!m.commandRequired && m.messageRequired);
    EXPECT_FALSE(g.finishClearsDisabled);
    EXPECT_TRUE(p.finishClearsDisabled && m.finishClearsDisabled);
    EXPECT_TRUE(m.lastWavInProgramIni && !g.lastWavInProgramIni && !p.lastWavInProgramIni);
    EXPECT_TRUE(m.descriptionFillsMessage && m.monthEndAtOnce);
    EXPECT_TRUE(p.fillStartFolder && !g.fillStartFolder);
}

}  // namespace
}  // namespace kr::tasks
