// Performs the action of a fired binding: window placements, system functions, keystrokes,
// applications, URLs and shell commands. Keeps no state between actions; failures are silent.
#include "actions/action_runner.h"

#include <limits>
#include <type_traits>
#include <utility>
#include <variant>

namespace ombrel {

ActionRunner::ActionRunner(WindowManager& windows, EventPoster& poster, Workspace& workspace,
                           DesktopShell& shell, SystemPrograms programs)
    : windows_(windows),
      poster_(poster),
      workspace_(workspace),
      shell_(shell),
      programs_(std::move(programs)) {}

void ActionRunner::run(const Action& action) {
    std::visit(
        [this](const auto& payload) {
            using T = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<T, WindowAction>) {
                windows_.apply(payload);
            } else if constexpr (std::is_same_v<T, SystemAction>) {
                runSystem(payload);
            } else if constexpr (std::is_same_v<T, KeyCombo>) {
                postKeystroke(payload);
            } else if constexpr (std::is_same_v<T, Action::LaunchApp>) {
                workspace_.openApplication(payload.path);
            } else if constexpr (std::is_same_v<T, Action::OpenURL>) {
                openURL(payload.text);
            } else {
                static_assert(std::is_same_v<T, Action::Shell>);
                runShell(payload.command);
            }
        },
        action.payload);
}

void ActionRunner::postKeystroke(const KeyCombo& combo) {
    // A code wider than a platform key code (only a hand-edited file can hold one) would post a
    // different key; the action is dropped instead.
    if (combo.keyCode < 0 || combo.keyCode > std::numeric_limits<uint16_t>::max()) {
        return;
    }
    poster_.postKeystroke(combo.keyCode, combo.mods);
}

void ActionRunner::launchProcess(const std::string& executable,
                                 const std::vector<std::string>& arguments) {
    workspace_.launchProcess(executable, arguments);
}

std::string ActionRunner::withScheme(std::string_view text) {
    if (text.find("://") != std::string_view::npos) {
        return std::string(text);
    }
    std::string url = "https://";
    url += text;
    return url;
}

void ActionRunner::openURL(const std::string& text) {
    // Text that does not parse is refused by the workspace; nothing else happens then.
    workspace_.openURL(withScheme(text));
}

void ActionRunner::runShell(const std::string& command) {
    std::vector<std::string> arguments = programs_.shellArguments;
    // The command stays one argument so the shell interprets its pipes, variables and "~".
    arguments.push_back(command);
    launchProcess(programs_.shell, arguments);
}

}  // namespace ombrel
