// The user-interface library's entry: the icon renderer or the tray application, with the log.
#include <type_traits>

#include "app/modes.h"
#include "app/user_interface.h"
#include "platform/linux/syslog_log.h"

extern "C" __attribute__((visibility("default"))) int ombrel_user_interface_main(
    int argc, char** argv, const char* iconPath, int verbose) {
    // Checked against the type the executable calls through.
    static_assert(std::is_same_v<decltype(&ombrel_user_interface_main), OmbrelUserInterfaceMain>);
    if (iconPath != nullptr) {
        return ombrel::app::makeIcon(argc, argv, iconPath);
    }
    // Only the running program logs; the one-shot modes stay quiet.
    const ombrel::linux_platform::SyslogLog systemLog(verbose != 0);
    return ombrel::app::normalStart(argc, argv);
}
