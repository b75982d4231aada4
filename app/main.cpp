// Process entry: picks the command-line mode, runs it, and exits with its status. The self-check
// and the run request need no display and load no user interface, so scripts calling them stay
// quick.
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/modes.h"
#include "app/selftest.h"

int main(int argc, char** argv) {
    using ombrel::app::LaunchMode;
    const std::vector<std::string> arguments(argv, argv + argc);
    const LaunchMode mode = ombrel::app::chooseMode(arguments);
    switch (mode.kind) {
        case LaunchMode::Kind::selftest:
            return ombrel::app::runSelfTest(ombrel::app::selfTestCases(), std::cout) ? 0 : 1;
        case LaunchMode::Kind::run:
            return ombrel::app::sendRunRequest(mode.argument);
        case LaunchMode::Kind::makeIcon:
        case LaunchMode::Kind::normal:
            break;
    }
    return ombrel::app::runUserInterface(argc, argv, mode);
}
