// The settings store: loading, set-aside of an unreadable file, atomic saving and the rule lookup.
#include "config/store.h"

#include <bit>
#include <cstdint>
#include <functional>
#include <mutex>
#include <system_error>
#include <utility>
#include <variant>

#include "config/json_codec.h"
#include "config/xdg_dirs.h"
#include "platform/log.h"
#include "platform/posix/file_io.h"

namespace ombrel {

namespace fs = std::filesystem;

namespace {

// Tells the store's own texts from others without keeping them: a settings file may be tens of
// megabytes.
struct Fingerprint {
    std::size_t size = 0;
    uint64_t hash = 0;
    friend bool operator==(const Fingerprint&, const Fingerprint&) = default;
};

// The same fingerprint however the text is cut into pieces, so that a file is fingerprinted as
// it is read, without a copy of it (murmur3's 64-bit mixing, eight bytes at a time).
class Fingerprinter {
  public:
    void add(std::string_view piece) {
        size_ += piece.size();
        while (!piece.empty() && filled_ != 0) {
            take(piece.front());
            piece.remove_prefix(1);
        }
        for (; piece.size() >= 8; piece.remove_prefix(8)) {
            uint64_t word = 0;
            for (std::size_t i = 0; i < 8; ++i) {
                word |= uint64_t{static_cast<unsigned char>(piece[i])} << (8 * i);
            }
            hash_ = mix(hash_, word);
        }
        for (const char c : piece) {
            take(c);
        }
    }
    [[nodiscard]] Fingerprint value() const {
        uint64_t h = filled_ != 0 ? mix(hash_, word_) : hash_;
        h ^= size_;
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 33;
        h *= 0xc4ceb9fe1a85ec53ULL;
        h ^= h >> 33;
        return {size_, h};
    }

  private:
    static uint64_t mix(uint64_t h, uint64_t word) {
        word *= 0x87c37b91114253d5ULL;
        word = std::rotl(word, 31);
        word *= 0x4cf5ad432745937fULL;
        h ^= word;
        return std::rotl(h, 27) * 5 + 0x52dce729;
    }
    void take(char c) {
        word_ |= uint64_t{static_cast<unsigned char>(c)} << (8 * filled_);
        if (++filled_ == 8) {
            hash_ = mix(hash_, word_);
            word_ = 0;
            filled_ = 0;
        }
    }

    std::size_t size_ = 0;
    uint64_t hash_ = 0;
    uint64_t word_ = 0;  // the bytes after the last whole eight, lowest first
    unsigned filled_ = 0;
};

Fingerprint fingerprint(std::string_view text) {
    Fingerprinter f;
    f.add(text);
    return f.value();
}

}  // namespace

// Shared with the save thread, which names a text before it renames it into place: a read of the
// file that finds the new text finds its name too.
struct Store::Disk {
    std::mutex mutex;
    std::optional<Fingerprint> last;     // written or read here last
    std::optional<Fingerprint> writing;  // on its way into place
};

// One write of a value, on the save thread; the outcome is the store's to apply on its own.
struct Store::SaveJob {
    std::shared_ptr<const SettingsSnapshot> value;
    fs::path file;
    std::shared_ptr<Disk> disk;
    // The outcome.
    bool ok = false;
    bool linkReplaced = false;
    std::optional<std::string> error;

    void write() {
        std::error_code ec;
        // Renaming over a folder would fail anyway; say plainly why.
        if (fs::is_directory(file, ec)) {
            error = std::string(folderInPlaceText);
            return;
        }
        const std::optional<std::string> text = encodeConfig(value->config);
        value.reset();  // no longer kept alive here
        if (!text) {
            error = describe("not expressible as JSON");
            return;
        }
        const Fingerprint print = fingerprint(*text);
        {
            const std::lock_guard lock(disk->mutex);
            disk->writing = print;
        }
        const file_io::Replaced written = file_io::replaceAtomically(file, *text);
        {
            const std::lock_guard lock(disk->mutex);
            if (written) {
                disk->last = print;
            }
            disk->writing.reset();
        }
        ok = static_cast<bool>(written);
        linkReplaced = written.linkReplaced;
        if (!written) {
            // The old file stays; the in-memory config stands and the next assignment tries again.
            error = describe(written.error.message());
        }
    }
    static std::string describe(const std::string& why) {
        return "Changes could not be saved to config.json (" + why +
               "), so they last only until Ombrel quits unless a later save succeeds.";
    }
};

Store::Store(fs::path folder) : Store(std::move(folder), inlineSaves_) {}

Store::Store(fs::path folder, SaveExecutor& saves)
    : folder_(std::move(folder)), saves_(saves), disk_(std::make_shared<Disk>()) {
    load();
}

Store::~Store() {
    flush();
}

fs::path Store::defaultFolder() {
    return xdg::baseDirs().configHome / "Ombrel";
}

fs::path Store::unreadableURL() const {
    return folder_ / "config.unreadable.json";
}

void Store::adopt(Config config) {
    current_ = SettingsSnapshot::of(std::move(config));
    published_.publish(current_);
}

void Store::publishConfig() {
    // Held here, so an observer that assigns again leaves the others a valid value.
    const std::shared_ptr<const SettingsSnapshot> shown = current_;
    configChanged_.publish(shown->config);
}

void Store::setConfig(Config config) {
    adopt(std::move(config));
    publishConfig();
    requestSave();
}

void Store::requestSave() {
    if (keepFile_) {
        setSaveError(std::string(keptUnreadableText));
        return;
    }
    unsaved_ = current_;
    if (!writing_) {
        startSave();
    }
}

void Store::startSave() {
    auto job = std::make_shared<SaveJob>();
    job->value = std::exchange(unsaved_, nullptr);
    job->file = fileURL_;
    job->disk = disk_;
    writing_ = job;
    saves_.run([job] { job->write(); },
               [this, job, alive = std::weak_ptr<int>(alive_)] {
                   if (alive.lock()) {
                       landed(job);
                   }
               });
}

void Store::landed(const std::shared_ptr<SaveJob>& job) {
    if (job != writing_) {
        return;  // a flush has seen to it
    }
    writing_.reset();
    lastSaved_ = job->ok;
    if (job->linkReplaced) {
        log::note(
            "config.json was a link that is not this user's own or leads to a file that is "
            "not, so the link was replaced by the settings file and what it led to was left "
            "untouched.");
    }
    setSaveError(job->error);
    if (unsaved_) {
        startSave();
    }
}

void Store::flush() {
    while (writing_) {
        saves_.drain();
        const std::shared_ptr<SaveJob> job = writing_;  // landed() resets writing_
        landed(job);
    }
}

bool Store::save() {
    flush();
    if (keepFile_) {
        setSaveError(std::string(keptUnreadableText));
        return false;
    }
    unsaved_ = current_;
    startSave();
    flush();
    return lastSaved_;
}

void Store::setSaveError(std::optional<std::string> error) {
    if (error != saveError_) {
        saveError_ = std::move(error);
        log::note(saveError_ ? *saveError_ : "Changes are saved to config.json again.");
        saveErrorChanged_.publish(saveError_);
    }
}

Store::DiskChange Store::adoptFromDisk() {
    auto decoded = [this]() -> std::optional<std::variant<Config, DecodeError>> {
        // Most notices are of the program's own writes, or of nothing new: a fingerprint taken
        // as the file streams by settles those without a copy of the file in memory.
        Fingerprinter streamed;
        const auto read = file_io::readPieces(
            fileURL_, [&streamed](std::string_view piece) { streamed.add(piece); });
        if (!std::holds_alternative<std::monostate>(read)) {
            return std::nullopt;
        }
        {
            const Fingerprint print = streamed.value();
            const std::lock_guard lock(disk_->mutex);
            if (print == disk_->last || print == disk_->writing) {
                return std::nullopt;
            }
        }
        auto bytes = file_io::readWhole(fileURL_);
        const auto* text = std::get_if<std::string>(&bytes);
        if (text == nullptr) {
            return std::nullopt;
        }
        const Fingerprint print = fingerprint(*text);
        {
            const std::lock_guard lock(disk_->mutex);
            if (print == disk_->last || print == disk_->writing) {
                return std::nullopt;
            }
            disk_->last = print;
        }
        return decodeConfig(*text);
    }();
    if (!decoded) {
        return {};
    }
    if (auto* error = std::get_if<DecodeError>(&*decoded)) {
        return {DiskChange::Kind::refused, std::move(error->description)};
    }
    auto& config = std::get<Config>(*decoded);
    keepFile_ = false;
    setSaveError(std::nullopt);
    if (config != current_->config) {
        // Through adopt, so the rule index follows the new list.
        adopt(std::move(config));
        publishConfig();
        // A write under way is of an older value: the file is to end with this one.
        if (writing_) {
            requestSave();
        }
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
    auto decoded = [&] {
        // The text goes as soon as it is read: only its fingerprint is kept.
        const std::string text = std::move(std::get<std::string>(bytes));
        disk_->last = fingerprint(text);
        return decodeConfig(text);
    }();
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
