#include "StopSignals.h"

#include <csignal>
#include <initializer_list>

namespace velox::player {
namespace {

volatile std::sig_atomic_t gStopSignal = 0;

void OnStopSignal(int number) {
    if (gStopSignal == 0) {
        gStopSignal = number;
    }
}

} // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(number, &action, nullptr);
    }
}

int StopSignal() {
    return gStopSignal;
}

} // namespace velox::player
