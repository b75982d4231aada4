// Process entry: picks the command-line mode, runs it, and exits with its status.
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/modes.h"
#include "app/selftest.h"
#include "platform/linux/syslog_log.h"

int main(int argc, char** argv) {
    using ombrel::app::LaunchMode;
    const std::vector<std::string> arguments(argv, argv + argc);
    const LaunchMode mode = ombrel::app::chooseMode(arguments);
    switch (mode.kind) {
        case LaunchMode::Kind::selftest:
            return ombrel::app::runSelfTest(ombrel::app::selfTestCases(), std::cout) ? 0 : 1;
        case LaunchMode::Kind::run:
            return ombrel::app::sendRunRequest(argc, argv, mode.argument);
        case LaunchMode::Kind::makeIcon:
            return ombrel::app::makeIcon(argc, argv, mode.argument);
        case LaunchMode::Kind::normal:
            break;
    }
    // Only the running program logs; the one-shot modes stay quiet.
    const ombrel::linux_platform::SyslogLog systemLog(mode.verbose);
    return ombrel::app::normalStart(argc, argv);
}
