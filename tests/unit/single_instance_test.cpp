// One program at a time: a second start hands over to the first, which shows its window.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <string_view>
#include <thread>

#include "app/app.h"
#include "test_machine.h"

using namespace vexlo;
using namespace std::chrono_literals;

namespace {

int count_lines(const std::vector<std::string>& log, std::string_view prefix) {
    return int(std::count_if(log.begin(), log.end(), [&](const std::string& line) { return line.starts_with(prefix); }));
}
int count_opens(const std::vector<std::string>& log) { return count_lines(log, "open "); }

bool wait_until(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(50ms);
    return done();
}

// The machine as the second start sees it, except that the moment it signals the first is
// kept: what its shell had been asked by then.
class SignalWatch final : public platform::Platform {
public:
    explicit SignalWatch(sim::SimMachine& pc) : pc_(pc), objects_(*this) {}
    std::optional<std::vector<std::string>> shell_log_at_signal;

    platform::Registry& registry() override { return pc_.registry(); }
    platform::FileSystem& files() override { return pc_.files(); }
    platform::NamedObjects& named_objects() override { return objects_; }
    platform::Processes& processes() override { return pc_.processes(); }
    platform::SystemInfo& system() override { return pc_.system(); }
    platform::Shell& shell() override { return pc_.shell(); }
    platform::Clock& clock() override { return pc_.clock(); }
    platform::Random& random() override { return pc_.random(); }
    platform::Services& services() override { return pc_.services(); }
    platform::TaskScheduler& tasks() override { return pc_.tasks(); }
    platform::Power& power() override { return pc_.power(); }
    platform::Network& network() override { return pc_.network(); }
    platform::Devices& devices() override { return pc_.devices(); }
    platform::BootConfig& boot() override { return pc_.boot(); }
    platform::MemoryAgent& memory_agent() override { return pc_.memory_agent(); }
    platform::Defender& defender() override { return pc_.defender(); }
    platform::SystemRestore& restore() override { return pc_.restore(); }
    platform::Input& input() override { return pc_.input(); }
    platform::Performance& performance() override { return pc_.performance(); }
    platform::Echo& echo() override { return pc_.echo(); }
    platform::Tray& tray() override { return pc_.tray(); }
    platform::SelfCopy& self_copy() override { return pc_.self_copy(); }

private:
    struct Event final : platform::NamedEvent {
        Event(SignalWatch& w, std::unique_ptr<platform::NamedEvent> real) : watch(w), real(std::move(real)) {}
        void signal() override {
            watch.shell_log_at_signal = watch.pc_.shell_log();
            real->signal();
        }
        bool poll() override { return real->poll(); }
        SignalWatch& watch;
        std::unique_ptr<platform::NamedEvent> real;
    };
    struct Objects final : platform::NamedObjects {
        explicit Objects(SignalWatch& w) : watch(w) {}
        platform::MutexResult create_mutex(std::string_view name) override {
            return watch.pc_.named_objects().create_mutex(name);
        }
        std::unique_ptr<platform::NamedEvent> open_event(std::string_view name) override {
            auto real = watch.pc_.named_objects().open_event(name);
            return real ? std::make_unique<Event>(watch, std::move(real)) : nullptr;
        }
        SignalWatch& watch;
    };
    sim::SimMachine& pc_;
    Objects objects_;
};

// A page that loaded the window's address and holds its socket open: the window is on screen.
class ConnectedPage {
public:
    explicit ConnectedPage(const std::string& url) {
        const std::string prefix = "http://127.0.0.1:";
        const size_t slash = url.find('/', prefix.size());
        port_ = uint16_t(std::stoi(url.substr(prefix.size(), slash - prefix.size())));
        const std::string host = "127.0.0.1:" + std::to_string(port_);

        int page = dial();
        send_all(page, "GET " + url.substr(slash) + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n");
        const std::string response = read_head(page);
        ::close(page);
        const std::string key = "\r\nSet-Cookie: ";
        size_t at = response.find(key);
        if (at == std::string::npos) return;
        at += key.size();
        const std::string cookie = response.substr(at, response.find_first_of(";\r", at) - at);

        socket_ = dial();
        send_all(socket_, "GET /ws HTTP/1.1\r\nHost: " + host + "\r\nOrigin: http://" + host + "\r\nCookie: " + cookie +
                              "\r\nConnection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
                              "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n");
        upgraded_ = read_head(socket_).starts_with("HTTP/1.1 101");
    }
    ~ConnectedPage() {
        if (socket_ >= 0) ::close(socket_);
    }
    bool connected() const { return upgraded_; }

private:
    int dial() const {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port_);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval limit{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) ADD_FAILURE() << "cannot connect";
        return fd;
    }
    static void send_all(int fd, const std::string& data) {
        for (size_t done = 0; done < data.size();) {
            ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return;
            done += size_t(n);
        }
    }
    // The response's status line and headers (all of it, when the server closes first).
    static std::string read_head(int fd) {
        std::string out;
        char buf[4096];
        while (out.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            out.append(buf, size_t(n));
        }
        return out;
    }

    uint16_t port_ = 0;
    int socket_ = -1;
    bool upgraded_ = false;
};

// The first start, running on a thread of its own for as long as the object lives.
class FirstStart {
public:
    FirstStart() : app_(*pc, printing_the_address()), runner_([this] { app_.run(); }), address(url_.get_future().get()) {}
    ~FirstStart() {
        app_.request_exit();
        runner_.join();
    }
    std::vector<std::string> shell_log() { return pc->shell_log(); }

    testkit::TempMachine pc;

private:
    StartOptions printing_the_address() {
        StartOptions options;
        options.on_url = [this](const std::string& u) { url_.set_value(u); };
        return options;
    }
    std::promise<std::string> url_;
    App app_;
    std::thread runner_;

public:
    const std::string address;  // its window's, as it told its caller
};

}  // namespace

// A second start signals the first and ends at once; the first brings its window forward
// within about a second (here: opens it again, since no window is connected yet).
TEST(SingleInstance, SecondStartHandsOverToTheFirst) {
    FirstStart first;
    EXPECT_EQ(first.address.rfind("http://127.0.0.1:", 0), 0u);

    auto second_pc = sim::SimMachine::open(first.pc.dir());
    SignalWatch second_pf(*second_pc);
    StartOptions second_opts;
    bool second_printed = false;
    second_opts.on_url = [&](const std::string&) { second_printed = true; };
    App second(second_pf, second_opts);
    EXPECT_EQ(second.run(), 0);
    EXPECT_FALSE(second_printed) << "the second start must not serve a window";
    EXPECT_EQ(count_opens(second_pc->shell_log()), 0);
    // Only the program in the foreground can let another take it, and only before the first acts.
    ASSERT_TRUE(second_pf.shell_log_at_signal.has_value()) << "the second start did not signal";
    EXPECT_EQ(*second_pf.shell_log_at_signal, std::vector<std::string>{"allow_foreground_switch"});

    EXPECT_TRUE(wait_until([&] { return count_opens(first.shell_log()) >= 2; }));
    EXPECT_EQ(count_opens(first.shell_log()), 2);
    EXPECT_EQ(count_lines(first.shell_log(), "raise"), 0) << "there was no window to raise";
}

// With its window on screen (maybe minimised), the first raises that window instead of
// opening another.
TEST(SingleInstance, SecondStartRaisesTheWindowThatIsOpen) {
    FirstStart first;
    ConnectedPage page(first.address);
    EXPECT_TRUE(page.connected());

    auto second_pc = sim::SimMachine::open(first.pc.dir());
    App second(*second_pc);
    EXPECT_EQ(second.run(), 0);
    EXPECT_EQ(second_pc->shell_log(), std::vector<std::string>{"allow_foreground_switch"});

    EXPECT_TRUE(wait_until([&] { return count_lines(first.shell_log(), "raise") > 0; }));
    auto log = first.shell_log();
    EXPECT_EQ(count_lines(log, "raise"), 1);
    EXPECT_EQ(std::find(log.begin(), log.end(), "raise none"), log.end()) << "raised before any window was opened";
    EXPECT_EQ(count_opens(log), 1) << "a second window was opened beside the one on screen";
}

TEST(SingleInstance, NotElevatedRelaunchesAndEnds) {
    testkit::TempMachine pc;
    pc->set_elevated(false);
    StartOptions opts;
    opts.exe = "C:\\Users\\Player\\AppData\\Local\\VexloTweaks\\app\\VexloTweaks-core.exe";
    opts.args = {"--tray", "", "x", "two words", "say \"hi\"", "C:\\A B\\"};
    bool served = false;
    opts.on_url = [&](const std::string&) { served = true; };
    App app(*pc, opts);
    EXPECT_EQ(app.run(), 0);
    EXPECT_FALSE(served);
    auto log = pc->shell_log();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("--tray x"), std::string::npos) << log.back();
    // Each argument on its own, blanks and quotes kept: the shell quotes them for the new process.
    EXPECT_EQ(log.back(), "relaunch_elevated " + opts.exe + " --tray x \"two words\" \"say \\\"hi\\\"\" \"C:\\\\A B\\\\\"");
}
