// Applies a changed settings file, or says why it was not, on the General pane and in the log.
#include "app/settings_reload.h"

#include <string>

#include "config/notices.h"
#include "config/store.h"
#include "platform/log.h"

namespace ombrel::app {

SettingsFileFollower::SettingsFileFollower(Store& store, Notices& notices)
    : store_(store), notices_(notices), assigned_(store.observeConfig([this](const Config&) {
          notices_.set(settingsFileTopic, "");
      })) {}

void SettingsFileFollower::fileMayHaveChanged() {
    using Kind = Store::DiskChange::Kind;
    const Store::DiskChange change = store_.adoptFromDisk();
    if (change.kind == Kind::adopted) {
        notices_.set(settingsFileTopic, "");
        log::note("The settings file was changed by another program; its settings are in force.");
    } else if (change.kind == Kind::refused) {
        std::string sentence =
            "config.json was changed but could not be read, so the settings in force stay until "
            "it is mended or a change made here replaces it. " +
            change.reason;
        log::note(sentence);
        notices_.set(settingsFileTopic, std::move(sentence));
    }
}

}  // namespace ombrel::app
