// The settings store: owns the current Config, loads it at creation, writes every change at once.
// It lives on one thread (the GUI's): every assignment, save and observer runs there. Other threads
// read the settings in force through snapshot(), which never waits for that thread.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "config/model.h"
#include "config/observable.h"
#include "config/settings_snapshot.h"

namespace ombrel {

class Store {
  public:
    static constexpr std::string_view loadErrorText =
        "Saved settings could not be read, so the starter set was loaded. The old file was kept "
        "as config.unreadable.json.";
    // Why changes cannot reach the settings file, as saveError() tells it.
    static constexpr std::string_view folderInPlaceText =
        "config.json is a folder, so changes cannot be saved and last only until Ombrel quits.";
    static constexpr std::string_view keptUnreadableText =
        "config.json can be neither read nor set aside, so it is left as it is and changes last "
        "only until Ombrel quits.";

    // Loads "config.json" from the folder (created when missing).
    explicit Store(std::filesystem::path folder);

    // $XDG_CONFIG_HOME/Ombrel, else ~/.config/Ombrel.
    static std::filesystem::path defaultFolder();

    // The same object for the store's whole life, so a view may keep the reference.
    [[nodiscard]] const Config& config() const { return config_; }
    // The settings in force with what is derived from them; safe from any thread. An assignment
    // replaces the pointer as a whole, so a reader keeps a consistent value for as long as it
    // holds it.
    [[nodiscard]] std::shared_ptr<const SettingsSnapshot> snapshot() const {
        return published_.load();
    }
    // Where other threads load the snapshot from.
    [[nodiscard]] const SettingsFeed& feed() const { return published_; }
    // Publishes the new value, then writes it to disk before returning.
    void setConfig(Config config);
    [[nodiscard]] const std::optional<std::string>& loadError() const { return loadError_; }
    [[nodiscard]] const std::filesystem::path& fileURL() const { return fileURL_; }
    [[nodiscard]] std::filesystem::path unreadableURL() const;

    // Writes config atomically and answers whether the file now holds it. A failure leaves the
    // file as it was and sets saveError; a success clears it.
    bool save();
    // Why changes cannot be saved, a sentence for the user; absent while saving works.
    [[nodiscard]] const std::optional<std::string>& saveError() const { return saveError_; }

    // What adoptFromDisk found.
    struct DiskChange {
        enum class Kind { none, adopted, refused };
        Kind kind = Kind::none;
        std::string reason;  // the decoder's sentence when refused
        friend bool operator==(const DiskChange&, const DiskChange&) = default;
    };
    // Reads "config.json" again after another program may have changed it, and never writes.
    // The bytes last written or read here (the program's own save): none. Bytes that decode:
    // adopted, and published when they differ from the config in force. Bytes that do not:
    // refused; the config in force stays and nothing is set aside. Missing or unreadable: none.
    // An adopted file is what saves write again, whatever kept them from it before.
    DiskChange adoptFromDisk();

    // The enabled rule with an equal trigger: scoped to frontApp first, then unscoped; earlier
    // wins among equals. The pointer is valid until the next assignment of config.
    [[nodiscard]] const Rule* matchingRule(const Trigger& trigger,
                                           std::optional<std::string_view> frontApp) const {
        return current_->index.match(config_.bindings, trigger, [&] { return frontApp; });
    }
    // The same, asking for the frontmost application only when a scoped rule needs it.
    template <class FrontApp>
    [[nodiscard]] const Rule* matchingRuleAskingFront(const Trigger& trigger,
                                                      FrontApp&& frontApp) const {
        return current_->index.match(config_.bindings, trigger, std::forward<FrontApp>(frontApp));
    }

    [[nodiscard]] Subscription observeConfig(Published<Config>::Observer observer) {
        return configChanged_.subscribe(std::move(observer));
    }
    [[nodiscard]] Subscription observeLoadError(
        Published<std::optional<std::string>>::Observer observer) {
        return loadErrorChanged_.subscribe(std::move(observer));
    }

    [[nodiscard]] Subscription observeSaveError(
        Published<std::optional<std::string>>::Observer observer) {
        return saveErrorChanged_.subscribe(std::move(observer));
    }

  private:
    void load();
    void setSaveError(std::optional<std::string> error);

    std::filesystem::path folder_;
    std::filesystem::path fileURL_;
    void adopt(Config config);

    Config config_;
    // The same value with what follows from it: the store's own reference, and the one other
    // threads load.
    std::shared_ptr<const SettingsSnapshot> current_;
    SettingsFeed published_;
    std::optional<std::string> loadError_;
    // The file's content as this store last wrote or read it, to tell its own saves from edits.
    std::optional<std::string> onDisk_;
    // An unreadable file that could not be set aside must not be overwritten.
    bool keepFile_ = false;
    std::optional<std::string> saveError_;
    Published<std::optional<std::string>> saveErrorChanged_;
    Published<Config> configChanged_;
    Published<std::optional<std::string>> loadErrorChanged_;
};

}  // namespace ombrel
