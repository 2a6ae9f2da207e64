// Shared set-up of the message program's tests: a temporary data folder made
// current with a scripted message responder and a settable clock (see
// DataFolderFixture.h), and the message program's own table managers.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DataFolderFixture.h"
#include "msgprog/MessageProgram.h"

namespace kr::test {

class MsgProgTest : public DataFolderTest {
protected:
    MsgProgTest() : DataFolderTest("kr-msgprog", MakeDate(6, 15, 2026), MakeTime(10, 0)) {}
    void SetUp() override {
        DataFolderTest::SetUp();
        msgprog::Settings() = msgprog::MessageSettings();
        msgprog::CurrentFont() = msgprog::PreservedFont();
        DictionaryInitMessageProgram();
    }
    void TearDown() override {
        data::TableOf(ConfigurationDef()).Close();
        DataFolderTest::TearDown();
    }

    static void AddLink(int32_t id, const std::string& title, const std::string& text = "text",
                        const std::string& alarm = "") {
        data::Table& t = data::TableOf(MsgLinkDef());
        int e = t.Open();
        if (e == 2) {
            ASSERT_EQ(t.Create(), 0);
            e = t.Open();
        }
        ASSERT_EQ(e, 0);
        MsgLink& ML = t.Rec<MsgLink>();
        ML = MsgLink();
        ML.ID = id;
        ML.Title = title;
        ML.Message = text;
        ML.AlarmFile = alarm;
        ASSERT_EQ(t.Add(), 0);
        t.Close();
    }
    static std::vector<int32_t> LinkIDs() {
        std::vector<int32_t> out;
        data::Table& t = data::TableOf(MsgLinkDef());
        if (t.Open() != 0) return out;
        t.Set(MsgLinkDef().key("ML:K_ID"));
        while (t.Next() == 0) out.push_back(t.Rec<MsgLink>().ID);
        t.Close();
        return out;
    }
    static MsgLink Link(const std::string& title, const std::string& text, const std::string& alarm = "") {
        MsgLink ML;
        ML.Title = title;
        ML.Message = text;
        ML.AlarmFile = alarm;
        return ML;
    }
};

}  // namespace kr::test
