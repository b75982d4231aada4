// The settings store: loading, set-aside of an unreadable file, atomic saving and the rule lookup.
#include "config/store.h"

#include <system_error>
#include <utility>
#include <variant>

#include "config/json_codec.h"
#include "config/xdg_dirs.h"
#include "platform/log.h"
#include "platform/posix/file_io.h"

namespace ombrel {

namespace fs = std::filesystem;

Store::Store(fs::path folder) : folder_(std::move(folder)) {
    load();
}

fs::path Store::defaultFolder() {
    return xdg::baseDirs().configHome / "Ombrel";
}

fs::path Store::unreadableURL() const {
    return folder_ / "config.unreadable.json";
}

void Store::adopt(Config config) {
    current_ = SettingsSnapshot::of(config);
    config_ = std::move(config);
    published_.publish(current_);
}

void Store::setConfig(Config config) {
    adopt(std::move(config));
    configChanged_.publish(config_);
    save();
}

bool Store::save() {
    std::error_code ec;
    if (keepFile_) {
        setSaveError(std::string(keptUnreadableText));
        return false;
    }
    // Renaming over a folder would fail anyway; say plainly why.
    if (fs::is_directory(fileURL_, ec)) {
        setSaveError(std::string(folderInPlaceText));
        return false;
    }
    const std::optional<std::string> text = encodeConfig(config_);
    const file_io::Replaced written =
        text ? file_io::replaceAtomically(fileURL_, *text)
             : file_io::Replaced{std::make_error_code(std::errc::invalid_argument)};
    if (!written) {
        // The old file stays; the in-memory config stands and the next assignment tries again.
        setSaveError("Changes could not be saved to config.json (" +
                     (text ? written.error.message() : "not expressible as JSON") +
                     "), so they last only until Ombrel quits unless a later save succeeds.");
        return false;
    }
    if (written.linkReplaced) {
        log::note(
            "config.json was a link that is not this user's own or leads to a file that is "
            "not, so the link was replaced by the settings file and what it led to was left "
            "untouched.");
    }
    onDisk_ = *text;
    setSaveError(std::nullopt);
    return true;
}

void Store::setSaveError(std::optional<std::string> error) {
    if (error != saveError_) {
        saveError_ = std::move(error);
        log::note(saveError_ ? *saveError_ : "Changes are saved to config.json again.");
        saveErrorChanged_.publish(saveError_);
    }
}

Store::DiskChange Store::adoptFromDisk() {
    auto bytes = file_io::readWhole(fileURL_);
    auto* text = std::get_if<std::string>(&bytes);
    if (text == nullptr || *text == onDisk_) {
        return {};
    }
    onDisk_ = *text;
    auto decoded = decodeConfig(*text);
    if (auto* error = std::get_if<DecodeError>(&decoded)) {
        return {DiskChange::Kind::refused, std::move(error->description)};
    }
    auto& config = std::get<Config>(decoded);
    keepFile_ = false;
    setSaveError(std::nullopt);
    if (config != config_) {
        // Through adopt, so the rule index follows the new list.
        adopt(std::move(config));
        configChanged_.publish(config_);
    }
    return {DiskChange::Kind::adopted, {}};
}

void Store::load() {
    loadError_.reset();
    std::error_code ec;
    fs::create_directories(folder_, ec);
    fileURL_ = folder_ / "config.json";
    // Left by saves that a crash or a kill interrupted.
    file_io::removeLeftovers(fileURL_);

    auto bytes = file_io::readWhole(fileURL_);
    if (std::holds_alternative<file_io::Missing>(bytes)) {
        // First start: leave a complete settings file behind at once.
        adopt(Config::starter());
        save();
        return;
    }
    if (std::holds_alternative<file_io::Unreadable>(bytes)) {
        adopt(Config::starter());
        if (fs::is_directory(fileURL_, ec)) {
            // Nothing of the user's may be removed to make room; say why nothing is saved.
            setSaveError(std::string(folderInPlaceText));
            return;
        }
        // Permission, a pipe, a file beyond the size limit: set it aside as an invalid file is.
        // A rename needs no read permission and keeps every byte; a fresh file then takes its
        // place, so a mode that locks the owner out is not carried over.
        fs::rename(fileURL_, unreadableURL(), ec);
        if (ec) {
            keepFile_ = true;
            log::note("config.json cannot be set aside: " + ec.message());
            setSaveError(std::string(keptUnreadableText));
            return;
        }
        loadError_ = std::string(loadErrorText);
        loadErrorChanged_.publish(loadError_);
        log::note(
            "The settings file could not be read, so it was moved to "
            "config.unreadable.json and the starter set is in force.");
        save();
        return;
    }
    onDisk_ = std::get<std::string>(bytes);
    auto decoded = decodeConfig(*onDisk_);
    if (auto* config = std::get_if<Config>(&decoded)) {
        adopt(std::move(*config));
        return;
    }
    // Not valid settings: keep a copy for the user, start from the starter set, and leave
    // "config.json" as it is until the first change is saved over it.
    const fs::path aside = unreadableURL();
    fs::remove(aside, ec);
    // Never overwriting: a link put in its place since would lead the copy elsewhere.
    fs::copy_file(fileURL_, aside, fs::copy_options::none, ec);
    adopt(Config::starter());
    loadError_ = std::string(loadErrorText);
    loadErrorChanged_.publish(loadError_);
    log::note(
        "The settings file could not be read, so the starter set is in force and the old "
        "file was kept as config.unreadable.json. " +
        std::get<DecodeError>(decoded).description);
}

}  // namespace ombrel
