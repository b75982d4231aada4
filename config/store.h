// The settings store: owns the current Config, loads it at creation, writes every change at once.
// It lives on one thread (the GUI's): every assignment and observer runs there, and so does every
// save unless a save thread is given, which then writes in the order of the assignments. Other
// threads read the settings in force through snapshot(), which never waits for that thread.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "config/model.h"
#include "config/observable.h"
#include "config/save_executor.h"
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

    // Loads "config.json" from the folder (created when missing). Saves run inside the
    // assignments, or on the executor given, which must outlive the store.
    explicit Store(std::filesystem::path folder);
    Store(std::filesystem::path folder, SaveExecutor& saves);
    // Flushes.
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // $XDG_CONFIG_HOME/Ombrel, else ~/.config/Ombrel.
    static std::filesystem::path defaultFolder();

    // The value in force; the reference holds until the next assignment (sharedConfig() for
    // longer).
    [[nodiscard]] const Config& config() const { return current_->config; }
    // The same value, unchanged for as long as it is held, and no copy of it.
    [[nodiscard]] std::shared_ptr<const Config> sharedConfig() const {
        return {current_, &current_->config};
    }
    // The settings in force with what is derived from them; safe from any thread. An assignment
    // replaces the pointer as a whole, so a reader keeps a consistent value for as long as it
    // holds it.
    [[nodiscard]] std::shared_ptr<const SettingsSnapshot> snapshot() const {
        return published_.load();
    }
    // Where other threads load the snapshot from.
    [[nodiscard]] const SettingsFeed& feed() const { return published_; }
    // Publishes the new value, then saves it: before returning, or on the save thread after
    // the write under way, if any; of values assigned meanwhile only the last is written.
    void setConfig(Config config);
    [[nodiscard]] const std::optional<std::string>& loadError() const { return loadError_; }
    [[nodiscard]] const std::filesystem::path& fileURL() const { return fileURL_; }
    [[nodiscard]] std::filesystem::path unreadableURL() const;

    // Writes config atomically, after any save under way, and answers whether the file now holds
    // it. A failure leaves the file as it was and sets saveError; a success clears it.
    bool save();
    // Returns once the value in force is on disk, or its save has failed (before quitting).
    void flush();
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
    // The bytes last written or read here, or being written (the program's own save): none.
    // Bytes that decode: adopted, and published when they differ from the config in force.
    // Bytes that do not: refused; the config in force stays and nothing is set aside. Missing or
    // unreadable: none. An adopted file is what saves write again, whatever kept them from it
    // before; adopted while an older value is being written, it is saved again after it.
    DiskChange adoptFromDisk();

    // The enabled rule with an equal trigger: scoped to frontApp first, then unscoped; earlier
    // wins among equals. The pointer is valid until the next assignment of config.
    [[nodiscard]] const Rule* matchingRule(const Trigger& trigger,
                                           std::optional<std::string_view> frontApp) const {
        return current_->matchingRule(trigger, frontApp);
    }
    // The same, asking for the frontmost application only when a scoped rule needs it.
    template <class FrontApp>
    [[nodiscard]] const Rule* matchingRuleAskingFront(const Trigger& trigger,
                                                      FrontApp&& frontApp) const {
        return current_->matchingRuleAskingFront(trigger, std::forward<FrontApp>(frontApp));
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
    struct Disk;
    struct SaveJob;
    void load();
    void setSaveError(std::optional<std::string> error);
    void adopt(Config config);
    void publishConfig();
    // Hands the value in force to the save thread, or keeps it for when the write under way
    // has landed.
    void requestSave();
    void startSave();
    void landed(const std::shared_ptr<SaveJob>& job);

    std::filesystem::path folder_;
    std::filesystem::path fileURL_;
    InlineSaves inlineSaves_;
    SaveExecutor& saves_;
    // The value in force with what follows from it: the store's own, and the one other threads
    // load.
    std::shared_ptr<const SettingsSnapshot> current_;
    SettingsFeed published_;
    std::optional<std::string> loadError_;
    // What this store last wrote or read, and is writing, to tell its own saves from edits.
    std::shared_ptr<Disk> disk_;
    // The write under way, and the newest value waiting for it to land.
    std::shared_ptr<SaveJob> writing_;
    std::shared_ptr<const SettingsSnapshot> unsaved_;
    bool lastSaved_ = false;
    // Ends the landed calls still on their way to a store that is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    // An unreadable file that could not be set aside must not be overwritten.
    bool keepFile_ = false;
    std::optional<std::string> saveError_;
    Published<std::optional<std::string>> saveErrorChanged_;
    Published<Config> configChanged_;
    Published<std::optional<std::string>> loadErrorChanged_;
};

}  // namespace ombrel
