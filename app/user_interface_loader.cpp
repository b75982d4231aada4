// Finds and opens the user-interface library: installed in the package's private library folder,
// or beside the executable in a build folder.
#include <dlfcn.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "app/modes.h"
#include "app/user_interface.h"

namespace ombrel::app {
namespace {

namespace fs = std::filesystem;

// Where the library lies relative to the executable's folder, installed and built.
constexpr const char* installedPath = OMBREL_USER_INTERFACE_INSTALLED;
constexpr const char* builtName = OMBREL_USER_INTERFACE_NAME;

}  // namespace

int runUserInterface(int argc, char** argv, const LaunchMode& mode) {
    const bool icon = mode.kind == LaunchMode::Kind::makeIcon;
    std::error_code ec;
    const fs::path folder = fs::read_symlink("/proc/self/exe", ec).parent_path();
    std::string why;
    void* library = nullptr;
    if (ec) {
        why = "the executable's folder is unknown";
    } else {
        const fs::path installed = (folder / installedPath).lexically_normal();
        const fs::path built = folder / builtName;
        const fs::path& found = fs::exists(installed, ec) ? installed : built;
        if (!fs::exists(found, ec)) {
            why = "there is no " + installed.string();
        } else if (library = dlopen(found.c_str(), RTLD_NOW | RTLD_LOCAL); library == nullptr) {
            why = dlerror();
        }
    }
    void* entry = nullptr;
    if (library != nullptr && (entry = dlsym(library, userInterfaceEntry)) == nullptr) {
        why = dlerror();
    }
    if (entry == nullptr) {
        // The icon mode prints nothing; its status says it all.
        if (!icon) {
            std::cerr << "Ombrel cannot load its user interface: " << why << ".\n";
        }
        return 1;
    }
    const auto run = reinterpret_cast<OmbrelUserInterfaceMain>(entry);
    return run(argc, argv, icon ? mode.argument.c_str() : nullptr, mode.verbose ? 1 : 0);
}

}  // namespace ombrel::app
