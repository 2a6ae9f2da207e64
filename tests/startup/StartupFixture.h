// Shared set-up of the start-up tests: a temporary folder made current, a
// scripted message responder, a settable clock and the options at their
// start values.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/Settings.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"

namespace kr::test {

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousDir_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/kr-start-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = std::filesystem::path(tmpl);
        std::filesystem::current_path(dir_);
        InstallMessageService(&responder_);
        InstallClock(&clock_);
        previousFormats_ = CurrentSystemFormats();
        SystemFormats f;
        f.shortTime = "h:mm tt";
        SetSystemFormats(f);
        ResetOptions();
        SetProgramArguments({});
        data::SetKeyDerivationIterations(64);
        data::ClearLastError();
    }
    void TearDown() override {
        CloseEventLog();
        while (data::TableOf(ConfigurationDef()).IsOpen()) data::TableOf(ConfigurationDef()).Close();
        DictionaryKill();
        data::CloseIdleFiles();
        data::SetKeyDerivationIterations(0);
        SetNetworkUserNameSource({});
        SetProgramArguments({});
        ResetOptions();
        SetSystemFormats(previousFormats_);
        InstallClock(nullptr);
        InstallMessageService(nullptr);
        std::filesystem::current_path(previousDir_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    static void WriteFile(const std::filesystem::path& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    static std::string ReadFile(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // The lines of a file, each without its CR LF.
    static std::vector<std::string> Lines(const std::filesystem::path& path) {
        std::vector<std::string> out;
        std::string all = ReadFile(path);
        std::size_t pos = 0;
        while (pos < all.size()) {
            std::size_t end = all.find("\r\n", pos);
            if (end == std::string::npos) {
                out.push_back(all.substr(pos));
                break;
            }
            out.push_back(all.substr(pos, end - pos));
            pos = end + 2;
        }
        return out;
    }

    // The record of Configuration stored under a name, read straight from the table.
    static std::optional<std::string> Stored(const std::string& name) {
        data::Table& t = data::TableOf(ConfigurationDef());
        t.Rec<Configuration>().DataType = name;
        if (t.Get(ConfigurationDef().key("CF:KeyDataType")) != 0) return std::nullopt;
        return t.Rec<Configuration>().DataValue.str();
    }

    std::vector<std::string> Titles() const {
        std::vector<std::string> out;
        for (const auto& s : responder_.shown()) out.push_back(s.request.title);
        return out;
    }

    std::filesystem::path dir_;
    std::filesystem::path previousDir_;
    ScriptedResponder responder_;
    ManualClock clock_{MakeDate(10, 31, 1959), MakeTime(17, 30)};
    SystemFormats previousFormats_;
};

}  // namespace kr::test
