// The birthday wizard's task: the texts of the three occasions, the age
// reference, the next date around today and the advance warning.
#include <gtest/gtest.h>

#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Value.h"
#include "tasks/BirthdayTask.h"

namespace kr::tasks {
namespace {

TEST(BirthdayTask, TextsOfTheThreeOccasions) {
    const int32_t today = MakeDate(6, 1, 2024);
    Schedule s;
    ApplyBirthdayDefaults(s, today);
    EXPECT_EQ(s.ScheduleType, "Yearly");
    EXPECT_EQ(s.Category, "Reminders");
    EXPECT_EQ(s.TaskType, "Display Message");
    BirthdayAnswers a;
    a.name = "Ann";
    a.eventDate = MakeDate(3, 14, 1960);
    ASSERT_TRUE(BuildBirthdayTask(s, a, today));
    EXPECT_EQ(s.Description, "Birthday: Ann");
    EXPECT_EQ(s.Message, "It's Ann's birthday today!\r\n\r\nAge: [= AGE(DATE(3,14,1960),TODAY())]");
    a.occasion = "Anniversary";
    BuildBirthdayTask(s, a, today);
    EXPECT_EQ(s.Description, "Anniversary: Ann");
    EXPECT_EQ(s.Message, "It's Ann's anniversary today!\r\n\r\n[= AGE(DATE(3,14,1960),TODAY())]");
    a.occasion = "Other";
    a.exact = false;
    BuildBirthdayTask(s, a, today);
    EXPECT_EQ(s.Description, "Event: Ann");
    EXPECT_EQ(s.Message, "Ann is today!\r\n\r\n");
    a.name = std::string(40, 'x');
    BuildBirthdayTask(s, a, today);
    EXPECT_EQ(s.Description.str().size(), 40u);
}

TEST(BirthdayTask, NextDateWarningAndAMissingDate) {
    const int32_t today = MakeDate(6, 1, 2024);
    Schedule s;
    ApplyBirthdayDefaults(s, today);
    BirthdayAnswers a;
    a.name = "Bo";
    // Today's day in an earlier year is next year's reminder, not today's.
    a.eventDate = MakeDate(6, 1, 1990);
    ASSERT_TRUE(BuildBirthdayTask(s, a, today));
    EXPECT_EQ(s.Date, MakeDate(6, 1, 2025));
    EXPECT_EQ(Format(Value(s.Time), "@t3"), Format(Value(MakeTime(6, 0)), "@t3"));  // 6:00AM, not 5:59AM
    EXPECT_EQ(s.Time, kBirthdayTime);
    EXPECT_EQ(s.AdvanceWarnDate, 0);
    a.eventDate = MakeDate(6, 2, 1990);
    a.warn = true;
    a.warnDays = 3;
    BuildBirthdayTask(s, a, today);
    EXPECT_EQ(s.Date, MakeDate(6, 2, 2024));
    EXPECT_EQ(s.AdvanceWarnDate, MakeDate(5, 30, 2024));
    EXPECT_EQ(s.AdvanceWarnTime, kBirthdayTime);
    // 29 February in a common year falls on the 28th.
    a.eventDate = MakeDate(2, 29, 2000);
    BuildBirthdayTask(s, a, today);
    EXPECT_EQ(s.Date, MakeDate(2, 28, 2025));
    // No date: nothing is built.
    Schedule before = s;
    a.eventDate = 0;
    EXPECT_FALSE(BuildBirthdayTask(s, a, today));
    EXPECT_EQ(s.Description, before.Description);
    EXPECT_EQ(s.Date, before.Date);
}

}  // namespace
}  // namespace kr::tasks
