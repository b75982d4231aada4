// The running program's log: lines worth knowing go to the system log (the journal keeps them);
// with --verbose they, and the engine's decisions, are also printed on standard error.
#pragma once

#include <string_view>

#include "platform/log.h"

namespace ombrel::linux_platform {

// Installs itself as the log's sink for its lifetime; create one, in main, before anything logs.
class SyslogLog final : public log::Sink {
  public:
    explicit SyslogLog(bool verbose);
    ~SyslogLog() override;
    SyslogLog(const SyslogLog&) = delete;
    SyslogLog& operator=(const SyslogLog&) = delete;

    void note(std::string_view line) override;
    void decision(std::string_view line) override;
    [[nodiscard]] bool wantsDecisions() const override { return verbose_; }

  private:
    bool verbose_;
    log::Sink* previous_;
};

}  // namespace ombrel::linux_platform
