#include "platform/sim/sim_desktop.h"

#include <cctype>

#include <fcntl.h>
#include <spawn.h>
#include <sys/random.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/error.h"
#include "platform/sim/sim_util.h"

extern char** environ;

namespace vexlo::sim {

namespace fs = std::filesystem;
using nlohmann::json;
using platform::PlatformError;

// ---- Processes ----

std::string encode_state(const ProcessTable& t) {
    json j = json::array();
    for (auto& p : t.processes) {
        json e = {{"pid", p.pid}, {"image", p.image}, {"priority", std::string(platform::priority_name(p.priority))}};
        if (p.refuses_changes) e["refuses_changes"] = true;
        j.push_back(std::move(e));
    }
    return j.dump(1, '\t') + "\n";
}

void decode_state(std::string_view text, ProcessTable& t) {
    try {
        json j = json::parse(text);
        if (!j.is_array()) throw PlatformError("the top level must be a list");
        for (auto& e : j) {
            ProcessEntry p;
            p.pid = e.at("pid").get<uint32_t>();
            p.image = e.at("image").get<std::string>();
            if (e.contains("priority")) {
                std::string name = e.at("priority").get<std::string>();
                auto cls = platform::parse_priority(name);
                if (!cls) throw PlatformError("process " + std::to_string(p.pid) + ": \"" + name + "\" is not a priority class");
                p.priority = *cls;
            }
            p.refuses_changes = e.value("refuses_changes", false);
            t.processes.push_back(std::move(p));
        }
    } catch (const json::exception& e) {
        throw PlatformError(e.what());
    }
}

SimProcesses::SimProcesses(fs::path file)
    : store_(file, fs::path(file) += ".lock", "processes") {}

void SimProcesses::reset(const std::vector<ProcessEntry>& processes) { store_.reset(ProcessTable{processes}); }

std::vector<platform::ProcessInfo> SimProcesses::list() {
    return store_.read([](const ProcessTable& t) {
        std::vector<platform::ProcessInfo> out;
        out.reserve(t.processes.size());
        for (auto& p : t.processes) out.push_back({p.pid, p.image});
        return out;
    });
}

std::vector<ProcessEntry> SimProcesses::entries() {
    return store_.read([](const ProcessTable& t) { return t.processes; });
}

namespace {

ProcessEntry* find_pid(ProcessTable& t, uint32_t pid) {
    for (auto& p : t.processes)
        if (p.pid == pid) return &p;
    return nullptr;
}

// What OpenProcess says for a pid that is not running.
PlatformError no_process(uint32_t pid) {
    return PlatformError("There is no process with id " + std::to_string(pid) + ": The parameter is incorrect.");
}

PlatformError refused(uint32_t pid, const std::string& image) {
    return PlatformError("Cannot open the process " + image + " (" + std::to_string(pid) + "): Access is denied.");
}

}  // namespace

std::optional<platform::PriorityClass> SimProcesses::priority(uint32_t pid) {
    return store_.read([&](const ProcessTable& t) -> std::optional<platform::PriorityClass> {
        for (auto& p : t.processes)
            if (p.pid == pid) return p.priority;
        return std::nullopt;
    });
}

void SimProcesses::set_priority(uint32_t pid, platform::PriorityClass cls) {
    store_.update([&](ProcessTable& t) {
        ProcessEntry* p = find_pid(t, pid);
        if (!p) throw no_process(pid);
        if (p->refuses_changes) throw refused(pid, p->image);
        p->priority = cls;
    });
}

void SimProcesses::force_priority(uint32_t pid, platform::PriorityClass cls) {
    store_.update([&](ProcessTable& t) {
        ProcessEntry* p = find_pid(t, pid);
        if (!p) throw no_process(pid);
        p->priority = cls;
    });
}

void SimProcesses::terminate(uint32_t pid) {
    store_.update([&](ProcessTable& t) {
        ProcessEntry* p = find_pid(t, pid);
        if (!p) throw no_process(pid);
        if (p->refuses_changes) throw refused(pid, p->image);
        std::erase_if(t.processes, [&](const ProcessEntry& e) { return e.pid == pid; });
    });
}

uint32_t SimProcesses::start(std::string image, platform::PriorityClass priority, bool refuses_changes) {
    return store_.update([&](ProcessTable& t) {
        uint32_t pid = 4;
        for (auto& p : t.processes) pid = std::max(pid, p.pid + 4 - p.pid % 4);
        t.processes.push_back({pid, std::move(image), priority, refuses_changes});
        return pid;
    });
}

size_t SimProcesses::stop(std::string_view image) {
    // Nothing is written when nothing runs under that name.
    bool any = store_.read([&](const ProcessTable& t) {
        return std::any_of(t.processes.begin(), t.processes.end(), [&](auto& p) { return iequals(p.image, image); });
    });
    if (!any) return 0;
    return store_.update([&](ProcessTable& t) {
        return std::erase_if(t.processes, [&](auto& p) { return iequals(p.image, image); });
    });
}

// ---- System facts ----

std::optional<platform::AccountMismatch> SimSystemInfo::desktop_user_mismatch() {
    // Account names compare without regard to case, as Windows compares them.
    if (facts_.desktop_user.empty() || process_user_.empty() || iequals(facts_.desktop_user, process_user_))
        return std::nullopt;
    return platform::AccountMismatch{process_user_, facts_.desktop_user};
}

// ---- Shell ----

void SimShell::script(platform::MsgResult answer) {
    std::lock_guard lk(mu_);
    answers_.push_back(answer);
}

std::vector<std::string> SimShell::log() const {
    std::lock_guard lk(mu_);
    return log_;
}

// A window's address carries a secret ("?s=..."); the log, like any log, must not. Every line
// is cleaned, since a message box may show the address too.
std::string SimShell::without_secrets(std::string line) {
    for (size_t at = 0; (at = line.find("s=", at)) != std::string::npos; at += 2) {
        if (at == 0 || (line[at - 1] != '?' && line[at - 1] != '&')) continue;
        size_t end = at + 2;
        while (end < line.size() && (std::isalnum(static_cast<unsigned char>(line[end])) || line[end] == '-' ||
                                     line[end] == '_' || line[end] == '%'))
            ++end;
        if (end > at + 2) line.replace(at + 2, end - at - 2, "<secret>");
    }
    return line;
}

void SimShell::record(std::string line) {
    line = without_secrets(std::move(line));
    std::string file_line = line;
    for (size_t i = 0; (i = file_line.find('\n', i)) != std::string::npos;) file_line.replace(i, 1, "\\n");
    file_line += '\n';
    int fd = ::open(log_file_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        if (write_all(fd, file_line) != 0) { /* the in-memory log still has it */ }
        ::close(fd);
    }
    log_.push_back(std::move(line));
}

bool SimShell::open_app_window(const std::string& url) {
    {
        std::lock_guard lk(mu_);
        record("open " + url);
        window_opened_ = true;
    }
    const char* browser = std::getenv("VEXLO_SIM_BROWSER");
    if (!browser || !*browser) return true;
    std::string program = browser;
    char* argv[] = {program.data(), const_cast<char*>(url.c_str()), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
    // Not waited for by the caller; a watcher reaps it so that it leaves no zombie.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    }).detach();
    return true;
}

static const char* answer_name(platform::MsgResult r) {
    switch (r) {
        case platform::MsgResult::Ok: return "Ok";
        case platform::MsgResult::Yes: return "Yes";
        case platform::MsgResult::No: return "No";
        case platform::MsgResult::Cancel: return "Cancel";
    }
    return "?";
}

platform::MsgResult SimShell::message_box(std::string_view title, std::string_view text, platform::MsgButtons buttons,
                                          platform::MsgIcon) {
    std::lock_guard lk(mu_);
    platform::MsgResult answer;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    } else {
        answer = buttons == platform::MsgButtons::Ok      ? platform::MsgResult::Ok
                 : buttons == platform::MsgButtons::YesNo ? platform::MsgResult::No
                                                          : platform::MsgResult::Cancel;
    }
    record("message_box [" + std::string(title) + "] " + std::string(text) + " -> " + answer_name(answer));
    return answer;
}

bool SimShell::relaunch_elevated(const std::string& exe, const std::vector<std::string>& args) {
    std::lock_guard lk(mu_);
    std::string line = "relaunch_elevated " + exe;
    for (auto& a : args) {
        bool plain = !a.empty() && std::none_of(a.begin(), a.end(), [](char c) {
            return uint8_t(c) <= ' ' || c == '"' || c == '\\';
        });
        line += " " + (plain ? a : json(a).dump());
    }
    record(line);
    return true;
}

bool SimShell::minimise_app_window() {
    std::lock_guard lk(mu_);
    record(window_opened_ ? "minimise" : "minimise none");
    return window_opened_;
}

bool SimShell::raise_app_window() {
    std::lock_guard lk(mu_);
    record(window_opened_ ? "raise" : "raise none");
    return window_opened_;
}

void SimShell::allow_foreground_switch() {
    std::lock_guard lk(mu_);
    record("allow_foreground_switch");
}

// ---- Clock ----

void SimClock::set_fixed(std::optional<platform::LocalTime> time) {
    std::lock_guard lk(mu_);
    fixed_ = time;
}

platform::LocalTime SimClock::local_now() {
    {
        std::lock_guard lk(mu_);
        if (fixed_) return *fixed_;
    }
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

int64_t SimClock::host_steady_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SimClock::freeze() {
    std::lock_guard lk(mu_);
    if (!frozen_ms_) frozen_ms_ = host_steady_ms();
}

void SimClock::advance(std::chrono::milliseconds by) {
    std::lock_guard lk(mu_);
    if (!frozen_ms_) frozen_ms_ = host_steady_ms();
    *frozen_ms_ += by.count();
}

int64_t SimClock::steady_ms() {
    {
        std::lock_guard lk(mu_);
        if (frozen_ms_) return *frozen_ms_;
    }
    return host_steady_ms();
}

// ---- Random ----

void SimRandom::fill(uint8_t* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        // Blocks only until the kernel's pool is first seeded, which is what a secret wants.
        ssize_t n = ::getrandom(out + done, size - done, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw platform::PlatformError(std::string("Cannot read the system random source: ") + std::strerror(errno));
        done += size_t(n);
    }
}

}  // namespace vexlo::sim
