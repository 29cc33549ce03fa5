// How Backend.cpp reaches the services of each backend (internal to the platform layer).
#pragma once

#include "platform/Backend.h"
#include "platform/Keyboard.h"
#include "platform/Presentation.h"
#include "platform/Window.h"

namespace velox::platform::detail {

struct BackendServices {
    WindowService* window = nullptr;
    PresentationService* presentation = nullptr;
    KeyboardService* keyboard = nullptr;
};

BackendServices SdlServices();
// Resets the headless backend to a fresh run with these options and installs its clock.
BackendServices StartHeadless(const BackendOptions& options);
// Uninstalls the headless clock when another backend takes over.
void StopHeadless();

} // namespace velox::platform::detail
