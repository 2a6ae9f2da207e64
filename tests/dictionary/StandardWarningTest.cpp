// The standard messages: texts joined as shown, buttons, defaults, icons,
// and the cases that end the program.
#include "DictionaryFixture.h"

using namespace kr;
using kr::test::DictionaryTest;

namespace {
class StandardWarningTest : public DictionaryTest {
protected:
    const MessageRequest& Only() {
        shown_ = responder_.shown();
        EXPECT_FALSE(shown_.empty());
        return shown_.front().request;
    }
    std::vector<ScriptedResponder::Shown> shown_;
};
}  // namespace

TEST_F(StandardWarningTest, ErrorTextOfDriverAndRuntimeErrors) {
    EXPECT_EQ(StandardErrorText({kDriverError, "1234  ", "Disk on fire   "}), "Disk on fire (1234)");
    EXPECT_EQ(StandardErrorText({kFileLocked, "", ""}), "File Is Already Locked (32)");
    std::string longText(400, 'x');
    EXPECT_EQ(StandardErrorText({kDriverError, "1", longText}).size(), 150u);
}

TEST_F(StandardWarningTest, FileAccessErrorShowsTheDriversOwnMessage) {
    data::SetLastError(kDriverError, "26", "file is encrypted or is not a database");
    EXPECT_EQ(StandardWarningText(30, "KR97.TPS\\!s   "), kButtonOk);
    const MessageRequest& r = Only();
    EXPECT_EQ(r.title, "File Access Error");
    EXPECT_EQ(r.text, "File (KR97.TPS\\!s) could not be opened.  Error: file is encrypted or is not a database (26).");
    EXPECT_EQ(r.buttons, kButtonOk);
    EXPECT_EQ(r.icon, MessageIcon::Information);
    EXPECT_EQ(programEnds_, 0);  // case 30 leaves ending to its caller
}

TEST_F(StandardWarningTest, CreationNotAllowedRunsTheNameIntoTheTextAndEnds) {
    StandardWarningText(22, "MSGLINK  ");
    EXPECT_EQ(Texts().at(0),
              "The File MSGLINKwas not found, and creation of the file is not allowed.  Press OK to end this "
              "application.");
    EXPECT_EQ(Shown(), (std::vector<std::string>{"File Creation Not Allowed", "File Creation Not Allowed"}));
    EXPECT_EQ(Texts().at(1), "File Creation Error!");
    EXPECT_EQ(programEnds_, 1);
}

TEST_F(StandardWarningTest, EndOrBeginningOfFileByDirection) {
    EXPECT_EQ(StandardWarningText(29, "Down"), kButtonYes);  // default Yes
    EXPECT_EQ(StandardWarningText(29, "Up"), kButtonYes);
    auto shown = responder_.shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].request.title, "End of File Error");
    EXPECT_EQ(shown[0].request.text,
              "The end of the viewed file was encountered.  Do you want to start again from the beginning?");
    EXPECT_EQ(shown[0].request.buttons, kButtonYes | kButtonNo);
    EXPECT_EQ(shown[0].request.icon, MessageIcon::Exclamation);
    EXPECT_EQ(shown[1].request.title, "Beginning of File Error");
    EXPECT_EQ(shown[1].request.text,
              "The beginning of the viewed file was encountered.  Do you want to start again from the end of the "
              "file?");
}

TEST_F(StandardWarningTest, InvalidKeyEndsOnNoAndReturnsTwoOnYes) {
    responder_.Answer(kButtonYes);
    EXPECT_EQ(StandardWarningText(2, "Schedule"), kButtonYes);
    EXPECT_EQ(programEnds_, 0);
    EXPECT_EQ(Texts().at(0), "Schedule key file is invalid.  Do you want to rebuild the key?");
    responder_.Answer(kButtonNo);
    StandardWarningText(2, "Schedule");
    EXPECT_EQ(programEnds_, 1);
    EXPECT_EQ(Texts().back(), "Invalid Key!");
}

TEST_F(StandardWarningTest, ButtonsAndDefaultsOfTheQuestions) {
    struct Q {
        int id, buttons, def;
        const char* title;
    };
    const Q qs[] = {
        {16, kButtonYes | kButtonNo | kButtonCancel, kButtonCancel, "Record Update Error"},
        {23, kButtonYes | kButtonNo, kButtonNo, "Update Cancelled"},
        {25, kButtonRetry | kButtonCancel, kButtonCancel, "Auto Increment Error"},
        {27, kButtonOk | kButtonCancel, kButtonCancel, "Cancel Request"},
        {32, kButtonOk | kButtonCancel, kButtonCancel, "Confirm Delete"},
        {33, kButtonYes | kButtonNo | kButtonCancel, kButtonNo, "Update Cancelled"},
        {37, kButtonYes | kButtonNo, kButtonYes, "Record Added"},
    };
    for (const Q& q : qs) {
        responder_.clear();
        EXPECT_EQ(StandardWarningNoText(q.id), q.def) << q.id;  // nothing scripted: the default answers
        const MessageRequest& r = Only();
        EXPECT_EQ(r.buttons, q.buttons) << q.id;
        EXPECT_EQ(r.title, q.title) << q.id;
    }
    responder_.Answer(kButtonRetry);
    EXPECT_EQ(StandardWarningNoText(25), kButtonRetry);
}

TEST_F(StandardWarningTest, TextsOfASampleOfCases) {
    data::SetLastError(kDuplicateKey);
    StandardWarning(10, "Priority  ", "1 and 10");
    StandardWarning(34, "Commit", "Schedule");
    StandardWarning(31, "Put", "Todo");
    StandardWarning(31, "Delete", "Todo");
    StandardWarningText(35, "Contacts");
    StandardWarningText(24, "Hot Keys");
    StandardWarningNoText(36);
    const auto t = Texts();
    ASSERT_EQ(t.size(), 7u);
    EXPECT_EQ(t[0], "The value of Priority must be between 1 and 10.");
    EXPECT_EQ(t[1],
              "Error: (Creates Duplicate Key (40)) attempting to frame the commit transaction on Schedule.  Commit "
              "transaction cancelled.");
    EXPECT_EQ(t[2], "An error was experienced when making changes to the Todo file.  Error: Creates Duplicate Key (40)");
    EXPECT_EQ(t[3],
              "An error was experienced when deleting a record from the Todo file.  Error: Creates Duplicate Key (40)");
    EXPECT_EQ(t[4],
              "Error: (Creates Duplicate Key (40)) attempting to access a record from the Contacts file.  Returning "
              "to previous window.");
    EXPECT_EQ(t[5], "Adding this record creates a duplicate entry for the key:Hot Keys");
    EXPECT_EQ(t[6],
              "Error: (Creates Duplicate Key (40)) attempting to open the current VIEW. Filter and Range Limits "
              "ignored.");
    EXPECT_EQ(Titles()[2], "Process PUT Error");
    EXPECT_EQ(Titles()[3], "Process DELETE Error");
}

TEST_F(StandardWarningTest, UpdateErrorDependsOnTheCode) {
    data::SetLastError(kRecordChanged);
    StandardWarningText(15, "locked");
    data::SetLastError(kAccessDenied);
    StandardWarningText(15, "locked");
    EXPECT_EQ(Texts()[0], "This record was changed by another station.");
    EXPECT_EQ(Texts()[1],
              "An error (Access Denied (5)) was experienced when attempting to update a record from the file.  "
              "Probable Cause: locked.");
}

TEST_F(StandardWarningTest, EndingCasesAndIdsOutsideTheTable) {
    EXPECT_EQ(StandardWarningNoText(0), 0);
    EXPECT_EQ(StandardWarningNoText(39), 0);
    EXPECT_TRUE(responder_.shown().empty());
    const std::pair<int, const char*> ends[] = {
        {1, "Invalid File!"}, {3, "Error Rebuilding Key!"}, {4, "File Creation Error!"}, {5, "File Creation Error!"}};
    for (const auto& [id, closing] : ends) {
        responder_.clear();
        StandardWarningText(id, "KR97.TPS");
        ASSERT_EQ(Texts().size(), 2u) << id;
        EXPECT_EQ(Texts()[1], closing);
    }
    EXPECT_EQ(programEnds_, 4);
    data::SetLastError(kAccessDenied);
    responder_.clear();
    StandardWarningText(5, "KR97.TPS");
    EXPECT_EQ(Texts()[0],
              "Error: (Access Denied (5)) opening created file:KR97.TPS.  Press OK to end this application.");
}
