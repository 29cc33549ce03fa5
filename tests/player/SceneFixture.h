// The player's loop and scene on a started headless runtime, without the program around
// them: each test starts from an empty script, scene and loop.
#pragma once

#include "RunLoop.h"
#include "Scene.h"
#include "Script.h"
#include "support/HeadlessFixture.h"

#include <velox/velox.h>

#include <gtest/gtest.h>

namespace velox::player {

class SceneFixture : public test::HeadlessFixture {
protected:
    void SetUp() override {
        HeadlessFixture::SetUp();
        ResetScript();
        ResetScene();
        ResetLoop();
        ASSERT_EQ(SetScreenMode(800, 600, 32, 60), 0);
        ASSERT_EQ(StartRuntime(), 0);
        SetDrawTarget(kDrawBackBuffer);
    }
    void TearDown() override {
        ShutdownRuntime();
        HeadlessFixture::TearDown();
    }
};

} // namespace velox::player
