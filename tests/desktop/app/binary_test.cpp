// End-to-end checks of the built ombrel executable: exit statuses, output, the icon file, the run
// request on a private session bus, and the normal start with and without an X display.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Args = std::vector<std::string>;

const std::string binary = OMBREL_BINARY;

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A program started with exactly the given environment, its output and errors kept in memory
// files; ended and reaped when the object goes.
class Child {
  public:
    Child(const Args& argv, const Args& env, const fs::path& workingDirectory = {}) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out_, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err_, STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (!workingDirectory.empty()) {
            posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
        }
        auto args = pointers(argv);
        auto envp = pointers(env);
        if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (running()) {
            kill(pid_, SIGTERM);
        }
        wait(5s);
        close(out_);
        close(err_);
    }

    // The exit status; -1 when it did not exit normally or was killed at the deadline.
    int wait(std::chrono::milliseconds timeout) {
        waitUntil([this] { return !running(); }, timeout);
        if (running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        return status_;
    }
    bool running() {
        int status = 0;
        if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            pid_ = -1;
        }
        return pid_ > 0;
    }
    [[nodiscard]] std::string out() const { return contents(out_); }
    [[nodiscard]] std::string err() const { return contents(err_); }
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout) const {
        return waitUntil([&] { return out().find(text) != std::string::npos; }, timeout);
    }

  private:
    static std::vector<char*> pointers(const Args& strings) {
        std::vector<char*> result;
        for (const auto& s : strings) {
            result.push_back(const_cast<char*>(s.c_str()));
        }
        result.push_back(nullptr);
        return result;
    }
    static std::string contents(int fd) {
        std::string text;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }

    int out_ = memfd_create("out", MFD_CLOEXEC);
    int err_ = memfd_create("err", MFD_CLOEXEC);
    pid_t pid_ = -1;
    int status_ = -1;
};

struct Finished {
    int status;
    std::string out, err;
};

Finished runToEnd(const Args& argv, const Args& env, const fs::path& workingDirectory = {}) {
    Child child(argv, env, workingDirectory);
    const int status = child.wait(60s);
    return {status, child.out(), child.err()};
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Each test has its own folder for settings, runtime files and as the working folder.
class Binary : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ombrel-e2e-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // This process's environment without any display or bus, and the given entries added.
    [[nodiscard]] Args isolated(const Args& add = {}) const {
        const Args ambient = {"DISPLAY",         "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR",
                              "XDG_CONFIG_HOME", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"};
        Args env = {"XDG_RUNTIME_DIR=" + dir_.string(),
                    "XDG_CONFIG_HOME=" + (dir_ / "config").string()};
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            if (std::find(ambient.begin(), ambient.end(), entry.substr(0, entry.find('='))) ==
                ambient.end()) {
                env.push_back(entry);
            }
        }
        env.insert(env.end(), add.begin(), add.end());
        return env;
    }
    // Runs ombrel with these arguments to its end.
    [[nodiscard]] Finished ombrel(const Args& args, const Args& env = {}) const {
        Args argv = {binary};
        argv.insert(argv.end(), args.begin(), args.end());
        return runToEnd(argv, isolated(env), dir_);
    }

    fs::path dir_;
};

TEST_F(Binary, SelftestPrintsOkWithoutDisplayOrBusAndTouchesNoSettings) {
    for (const Args& args :
         {Args{"--selftest"}, Args{"--make-icon", "/nonexistent/x.png", "--selftest"}}) {
        const auto result = ombrel(args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "selftest ok\n");
        EXPECT_EQ(result.err, "");
    }
    EXPECT_FALSE(fs::exists(dir_ / "config"));
}

TEST_F(Binary, MakeIconFailsSilentlyWhereNoFileCanBeWritten) {
    fs::create_directories(dir_ / "taken");
    for (const char* target : {"missing/icon.png", "taken"}) {
        const auto result = ombrel({"--make-icon", target});
        EXPECT_EQ(result.status, 1) << target;
        EXPECT_EQ(result.out + result.err, "") << target;
    }
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
    EXPECT_TRUE(fs::is_empty(dir_ / "taken"));
}

TEST_F(Binary, MakeIconWritesA1024PngOverAnOldFile) {
    std::ofstream(dir_ / "icon.png") << "old content";
    const auto result = ombrel({"--make-icon", "icon.png"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    const std::string png = readBytes(dir_ / "icon.png");
    // Signature, then the header chunk: width and height as big-endian 32-bit numbers.
    EXPECT_EQ(png.substr(0, 24),
              std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x04\0\0\0\x04\0", 24));
    EXPECT_GT(png.size(), 1000U);
    // Only the icon is left in the folder: no temporary file.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(Binary, NormalStartWithoutX11SaysSoInOneLineAndExitsOne) {
    for (const auto& [args, env] :
         std::initializer_list<std::pair<Args, Args>>{{{}, {}},
                                                      {{"--run"}, {}},
                                                      {{}, {"DISPLAY=:97"}},
                                                      {{}, {"WAYLAND_DISPLAY=wayland-0"}}}) {
        const auto result = ombrel(args, env);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.find("Ombrel needs an X11 session"), 0U) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
}

TEST_F(Binary, NormalStartOnX11LoadsSettingsAndKeepsRunning) {
    const Child x({"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                  isolated());
    ASSERT_TRUE(x.waitForOutput("\n", 20s)) << "Xvfb did not start";
    Child started({binary}, isolated({"DISPLAY=:" + firstLine(x.out())}));
    const fs::path settings = dir_ / "config" / "Ombrel" / "config.json";
    EXPECT_TRUE(waitUntil([&] { return fs::exists(settings); }, 30s));
    EXPECT_TRUE(started.running());
    EXPECT_NE(readBytes(settings).find("\"bindings\""), std::string::npos);
}

TEST_F(Binary, RunWithoutAUsableSessionBusExitsZeroSilently) {
    for (const Args& env : {Args{}, Args{"DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"},
                            Args{"DBUS_SESSION_BUS_ADDRESS=garbage"}}) {
        const auto result = ombrel({"--run", "leftHalf"}, env);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out + result.err, "");
    }
}

// The string argument of every "run" signal in a monitor's output, in order.
std::vector<std::string> runNames(const std::string& monitored) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while ((at = monitored.find("interface=local.ombrel; member=run", at)) != std::string::npos) {
        const std::size_t open = monitored.find("string \"", at);
        at = monitored.find("\"\n", open);
        if (at == std::string::npos) {
            break;
        }
        names.push_back(monitored.substr(open + 8, at - open - 8));
    }
    return names;
}

TEST_F(Binary, RunPostsTheFirstNameOnThePrivateSessionBus) {
    const Child daemon({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, isolated());
    ASSERT_TRUE(daemon.waitForOutput("\n", 20s)) << "dbus-daemon did not start";
    const std::string address = firstLine(daemon.out());
    const Child monitor(
        {"dbus-monitor", "--address", address, "type='signal',interface='local.ombrel'"},
        isolated());
    // A probe the monitor shows proves it listening, and everything sent before it seen.
    const auto probe = [&](const std::string& member) {
        return waitUntil(
            [&] {
                runToEnd({"dbus-send", "--bus=" + address, "--type=signal", "/local/ombrel",
                          "local.ombrel." + member},
                         isolated());
                return monitor.waitForOutput("member=" + member, 200ms);
            },
            20s);
    };
    ASSERT_TRUE(probe("ready"));
    for (const Args& args :
         {Args{"--run", "leftHalf"}, Args{"--run", "maximize", "--run", "center"},
          Args{"--run", "no such action"}, Args{"--run", "leftHalf", "--selftest"}}) {
        const auto result = ombrel(args, {"DBUS_SESSION_BUS_ADDRESS=" + address});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, args.back() == "--selftest" ? "selftest ok\n" : "");
        EXPECT_EQ(result.err, "");
    }
    ASSERT_TRUE(probe("after"));
    EXPECT_EQ(runNames(monitor.out()), (Args{"leftHalf", "maximize", "no such action"}));
    EXPECT_NE(monitor.out().find("path=/local/ombrel; interface=local.ombrel; member=run"),
              std::string::npos);
}

}  // namespace
}  // namespace ombrel
