// The system log through syslog(3), and standard error for --verbose.
#include "platform/linux/syslog_log.h"

#include <syslog.h>

#include <cstdio>
#include <string>

namespace ombrel::linux_platform {
namespace {

// One write per line, so lines from two threads never interleave.
void printLine(std::string_view line) {
    std::string text(line);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

SyslogLog::SyslogLog(bool verbose) : verbose_(verbose) {
    ::openlog("ombrel", LOG_PID, LOG_USER);
    previous_ = log::setSink(this);
}

SyslogLog::~SyslogLog() {
    log::setSink(previous_);
    ::closelog();
}

void SyslogLog::note(std::string_view line) {
    ::syslog(LOG_NOTICE, "%.*s", static_cast<int>(line.size()), line.data());
    if (verbose_) {
        printLine(line);
    }
}

void SyslogLog::decision(std::string_view line) {
    if (verbose_) {
        printLine(line);
    }
}

}  // namespace ombrel::linux_platform
