#pragma once
// A part of the simulated PC kept as one JSON file of the machine folder (services.json,
// tasks.json, power.json...), shared by every process that opens the folder.
//
// Reads are answered from memory after the same cheap check the registry makes
// (sim_registry.h): every writer counts its change in a word at the start of <machine>/state.lock,
// mapped into memory, and a reader that sees the count move compares a stat of its file with
// the version it holds, re-reading the file only when it differs. A hand edit, which counts
// nothing, is caught by a stat made at most every kRecheckMs. Writers take the lock file,
// re-read a changed file first, and write through a temporary file renamed over the old one.
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "platform/error.h"
#include "platform/sim/sim_faults.h"
#include "platform/sim/sim_util.h"

namespace vexlo::sim {

class SharedFile {
public:
    // `counter_file` is shared by the parts of one machine; it is also the writers' lock.
    SharedFile(std::filesystem::path file, std::filesystem::path counter_file);
    ~SharedFile();
    SharedFile(const SharedFile&) = delete;
    SharedFile& operator=(const SharedFile&) = delete;

    const std::filesystem::path& file() const { return file_; }
    const std::filesystem::path& lock_file() const { return lock_file_; }

    // The file's text when it may differ from the version last read or written here, else
    // nullopt (also when it is missing or unreadable). `always_stat` skips the counter check.
    std::optional<std::string> read_if_changed(bool always_stat);
    // Forgets the version held, so that the next read_if_changed returns the file.
    void forget() { stamp_ = {}; }
    // The caller holds FileLock(lock_file()). Throws PlatformError.
    void write(std::string_view text);

private:
    std::filesystem::path file_, lock_file_;
    FileStamp stamp_;
    uint64_t* changes_ = nullptr;
    uint64_t seen_changes_ = UINT64_MAX;
    int64_t last_stat_ms_ = 0;
    static constexpr int64_t kRecheckMs = 10;
};

// The first line of `after` that differs from `before`, trimmed: what a change of a part's
// state text is about, for a test told of each write.
std::string first_changed_line(std::string_view before, std::string_view after);

// Each state type T has, next to it:
//   std::string encode_state(const T&);        readable JSON text
//   void decode_state(std::string_view, T&);   throws PlatformError for damaged text
template <class T>
class Stored {
public:
    Stored(std::filesystem::path file, std::filesystem::path counter_file, std::string what)
        : file_(std::move(file), std::move(counter_file)), what_(std::move(what)) {}

    // Changes are announced to `faults` (Faults::before_write) before they are written.
    void watch(Faults* faults) { faults_ = faults; }

    bool exists() const {
        std::error_code ec;
        return std::filesystem::exists(file_.file(), ec);
    }

    // Loads the file. Throws PlatformError when it is missing or damaged.
    void load() {
        std::lock_guard lk(mu_);
        file_.forget();
        auto text = file_.read_if_changed(true);
        if (!text) throw platform::PlatformError("Cannot read " + file_.file().string());
        decode_into(*text, state_);
    }

    // Replaces the whole state and writes it out (a new machine). Throws PlatformError.
    void reset(T state) {
        std::lock_guard lk(mu_);
        FileLock lock(file_.lock_file());
        file_.write(encode_state(state));
        state_ = std::move(state);
    }

    // f(const T&) on the latest state; never throws for a damaged or vanished file (the last
    // good state is kept).
    template <class F>
    decltype(auto) read(F&& f) {
        std::lock_guard lk(mu_);
        refresh(false);
        return f(std::as_const(state_));
    }

    // f(T&) on a copy of the latest state, under the writers' lock; when f returns, the copy
    // is written out and kept. When f or the write throws, nothing changes.
    template <class F>
    decltype(auto) update(F&& f) {
        return update_impl(std::forward<F>(f), true);
    }
    // The same for a change its caller has already announced (Faults::before_write) as part of
    // a larger one: no write of its own is told.
    template <class F>
    decltype(auto) update_announced(F&& f) {
        return update_impl(std::forward<F>(f), false);
    }

private:
    template <class F>
    decltype(auto) update_impl(F&& f, bool announce) {
        std::lock_guard lk(mu_);
        FileLock lock(file_.lock_file());
        refresh(true);
        T copy = state_;
        if constexpr (std::is_void_v<decltype(f(copy))>) {
            f(copy);
            write(copy, announce);
        } else {
            auto result = f(copy);
            write(copy, announce);
            return result;
        }
    }
    void write(T& copy, bool announce) {
        std::string text = encode_state(copy);
        if (announce && faults_ && faults_->watching_writes())
            faults_->before_write({what_, first_changed_line(encode_state(state_), text)});
        file_.write(text);
        state_ = std::move(copy);
    }
    void decode_into(std::string_view text, T& into) {
        try {
            T fresh;
            decode_state(text, fresh);
            into = std::move(fresh);
        } catch (const platform::PlatformError& e) {
            throw platform::PlatformError("The file " + file_.file().string() + " (" + what_ + ") is damaged: " + e.what());
        }
    }
    void refresh(bool always_stat) {
        auto text = file_.read_if_changed(always_stat);
        if (!text) return;
        try {
            decode_into(*text, state_);
        } catch (const platform::PlatformError&) {
            // A damaged file is not re-read until it changes again; the last good state stays.
        }
    }

    std::mutex mu_;
    SharedFile file_;
    std::string what_;
    T state_{};
    Faults* faults_ = nullptr;
};

}  // namespace vexlo::sim
