// The settings store: loading, set-aside of an unreadable file, atomic saving and the rule lookup.
#include "config/store.h"

#include <cstdlib>
#include <system_error>
#include <utility>
#include <variant>

#include "config/file_io.h"
#include "config/json_codec.h"
#include "platform/log.h"

namespace ombrel {

namespace fs = std::filesystem;

Store::Store(fs::path folder) : folder_(std::move(folder)) {
    load();
}

Store& Store::shared() {
    // Created on first use, on the calling (main) thread, and kept until the process ends.
    static Store store(defaultFolder());
    return store;
}

fs::path Store::defaultFolder() {
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG base directory rules say.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && fs::path(xdg).is_absolute()) {
        return fs::path(xdg) / "Ombrel";
    }
    const char* home = std::getenv("HOME");
    const fs::path base = home != nullptr && *home != '\0' ? fs::path(home) : fs::path(".");
    return base / ".config" / "Ombrel";
}

fs::path Store::unreadableURL() const {
    return folder_ / "config.unreadable.json";
}

void Store::adopt(Config config) {
    config_ = std::move(config);
    index_ = RuleIndex(config_.bindings);
}

void Store::setConfig(Config config) {
    adopt(std::move(config));
    configChanged_.publish(config_);
    save();
}

void Store::save() {
    const std::optional<std::string> text = encodeConfig(config_);
    if (!text) {
        return;
    }
    // A failed write keeps the old file; the next assignment tries again.
    if (file_io::replaceAtomically(fileURL_, *text)) {
        onDisk_ = *text;
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
    if (config != config_) {
        config_ = std::move(config);
        configChanged_.publish(config_);
    }
    return {DiskChange::Kind::adopted, {}};
}

void Store::load() {
    loadError_.reset();
    std::error_code ec;
    fs::create_directories(folder_, ec);
    fileURL_ = folder_ / "config.json";

    auto bytes = file_io::readWhole(fileURL_);
    if (std::holds_alternative<file_io::Missing>(bytes)) {
        // First start: leave a complete settings file behind at once.
        adopt(Config::starter());
        save();
        return;
    }
    if (std::holds_alternative<file_io::Unreadable>(bytes)) {
        // The file is there but cannot be read now (permission, I/O error): work from the
        // starter set in memory and leave the user's file alone rather than overwrite it.
        adopt(Config::starter());
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
    fs::copy_file(fileURL_, aside, fs::copy_options::overwrite_existing, ec);
    adopt(Config::starter());
    loadError_ = std::string(loadErrorText);
    loadErrorChanged_.publish(loadError_);
    log::note(
        "The settings file could not be read, so the starter set is in force and the old "
        "file was kept as config.unreadable.json. " +
        std::get<DecodeError>(decoded).description);
}

}  // namespace ombrel
