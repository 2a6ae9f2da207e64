// A fresh temporary folder per test, made the current folder while the test
// runs; tables the test used are closed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "TestTables.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/runtime/ProcedureContext.h"

namespace kr::test {

class DataTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kr-data-XXXXXX";
        folder_ = ::mkdtemp(tmpl);
        char buf[4096];
        previous_ = ::getcwd(buf, sizeof buf) ? buf : "/";
        ASSERT_EQ(::chdir(folder_.c_str()), 0);
        // Key derivation is not what most tests are about.
        SetKeyDerivationIterations(4);
        SetBusyTimeout(5000);
    }
    void TearDown() override {
        EndProcedureThread(CurrentProcedureThread());
        for (Table* t : used_)
            while (t->IsOpen()) t->Close();
        CloseIdleFiles();
        (void)::chdir(previous_.c_str());
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    // The table of a definition, closed at the end of the test.
    Table& T(const TableDef& def) {
        Table& t = TableOf(def);
        used_.insert(&t);
        t.SetName(def.storedAs);
        return t;
    }
    // Created and opened.
    Table& Fresh(const TableDef& def, int mode = kModeShared) {
        Table& t = T(def);
        EXPECT_EQ(t.Create(), 0) << LastFileErrorText();
        EXPECT_EQ(t.Open(mode), 0) << LastFileErrorText();
        return t;
    }
    std::string path(const std::string& name) const { return folder_ + "/" + name; }

    std::string folder_;
    std::string previous_;
    std::set<Table*> used_;
};

// Runs a shell command and returns its standard output.
inline std::string Shell(const std::string& cmd, int* status = nullptr) {
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        int st = ::pclose(p);
        if (status) *status = st;
    }
    return out;
}

}  // namespace kr::test
