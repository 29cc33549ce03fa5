// A test that runs the runtime on the headless backend, in a scratch directory of its own
// (the log goes there) with its own runtime directory (the second-instance lock goes there).
#pragma once

#include "platform/Backend.h"
#include "support/LogLines.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace velox::test {

class HeadlessFixture : public ::testing::Test {
protected:
    void SetUp() override {
        previousDirectory_ = std::filesystem::current_path().string();
        runDirectory_ = dir_.path() + "/run";
        std::filesystem::create_directories(runDirectory_);
        ::setenv("XDG_RUNTIME_DIR", runDirectory_.c_str(), 1);
        ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
        platform::BackendOptions options;
        options.kind = platform::BackendKind::Headless;
        options.keys = keys_;
        ASSERT_TRUE(platform::SelectBackend(options));
    }
    void TearDown() override { (void)::chdir(previousDirectory_.c_str()); }

    std::vector<std::string> Log() const { return ReadLogLines(dir_.path() + "/Log.txt"); }

    TempDir dir_;
    std::string runDirectory_;
    std::string previousDirectory_;
    std::vector<platform::ScriptedKey> keys_; // set before SetUp runs to script keys
};

} // namespace velox::test
