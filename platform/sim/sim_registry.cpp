#include "platform/sim/sim_registry.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <nlohmann/json.hpp>

namespace vexlo::sim {

namespace fs = std::filesystem;
using nlohmann::json;
using platform::Hive;
using platform::PlatformError;
using platform::RegKind;
using platform::RegValue;

struct SimRegistry::Key {
    std::string path;  // as created, "SOFTWARE\\Microsoft"; "" for the hive's root
    std::vector<Key*> children;
    std::unordered_map<std::string, RegValue, NameHash, NameEqual> values;
    // The key's member of registry.json as last written, kept until its values change: a write
    // then encodes one key, not the whole registry.
    std::string text;
    bool text_ok = false;
};

namespace {

const char* const kHiveNames[2] = {"HKCU", "HKLM"};

std::string describe(Hive hive, std::string_view subkey, std::optional<std::string_view> name = {}) {
    std::string s = kHiveNames[int(hive)];
    if (!subkey.empty()) s += "\\" + std::string(subkey);
    if (name) s += name->empty() ? std::string("\\(Default)") : "\\" + std::string(*name);
    return s;
}

// Key paths are names joined by single backslashes, without one at either end.
bool valid_key_path(std::string_view p) {
    if (p.empty()) return true;
    if (p.front() == '\\' || p.back() == '\\') return false;
    return p.find("\\\\") == std::string_view::npos;
}

void add_root(SimRegistry::KeyMap& keys) {
    keys.clear();
    keys.emplace("", std::make_unique<SimRegistry::Key>());
}

// The key, made with its missing parents; the keys made are appended to `made`.
SimRegistry::Key* make_key(SimRegistry::KeyMap& keys, std::string_view path, std::vector<SimRegistry::Key*>* made) {
    if (auto it = keys.find(path); it != keys.end()) return it->second.get();
    size_t cut = path.rfind('\\');
    SimRegistry::Key* parent = make_key(keys, cut == std::string_view::npos ? "" : path.substr(0, cut), made);
    std::string_view leaf = cut == std::string_view::npos ? path : path.substr(cut + 1);
    auto key = std::make_unique<SimRegistry::Key>();
    key->path = parent->path.empty() ? std::string(leaf) : parent->path + "\\" + std::string(leaf);
    SimRegistry::Key* raw = key.get();
    std::string map_key = raw->path;
    keys.emplace(std::move(map_key), std::move(key));
    parent->children.push_back(raw);
    if (made) made->push_back(raw);
    return raw;
}

// Takes back keys just made, newest first.
void unmake_keys(SimRegistry::KeyMap& keys, const std::vector<SimRegistry::Key*>& made) {
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        std::string path = (*it)->path;
        size_t cut = path.rfind('\\');
        auto parent = keys.find(std::string_view(path).substr(0, cut == std::string::npos ? 0 : cut));
        if (parent != keys.end()) std::erase(parent->second->children, *it);
        keys.erase(path);
    }
}

// Only the member that the kind uses, so that what is read back is what Windows would give.
RegValue normalized(const RegValue& v) {
    switch (v.kind) {
        case RegKind::DWord: return RegValue::dword(uint32_t(v.number));
        case RegKind::QWord: return RegValue::qword(v.number);
        case RegKind::String: return RegValue::string(v.text);
        case RegKind::ExpandString: return RegValue::expand_string(v.text);
        case RegKind::MultiString: return RegValue::multi_string(v.strings);
        default: {
            RegValue r;
            r.kind = v.kind;
            r.bytes = v.bytes;
            return r;
        }
    }
}

std::string to_hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

std::vector<uint8_t> from_hex(const std::string& s) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        c = ascii_lower(c);
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        throw PlatformError("bad hex digit");
    };
    if (s.size() % 2) throw PlatformError("odd number of hex digits");
    std::vector<uint8_t> out(s.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) out[i] = uint8_t(nibble(s[2 * i]) << 4 | nibble(s[2 * i + 1]));
    return out;
}

// A value as one small object named by its kind: {"dword": 2}, {"expand_string": "..."},
// {"binary": "01ff"}; kinds without a name keep their number: {"raw": 9, "hex": "..."}.
json encode(const RegValue& v) {
    switch (v.kind) {
        case RegKind::DWord: return {{"dword", uint32_t(v.number)}};
        case RegKind::QWord: return {{"qword", v.number}};
        case RegKind::String: return {{"string", v.text}};
        case RegKind::ExpandString: return {{"expand_string", v.text}};
        case RegKind::MultiString: return {{"multi_string", v.strings}};
        case RegKind::Binary: return {{"binary", to_hex(v.bytes)}};
        default: return {{"raw", uint32_t(v.kind)}, {"hex", to_hex(v.bytes)}};
    }
}

RegValue decode(const json& j) {
    if (!j.is_object() || j.empty()) throw PlatformError("a value must be an object");
    if (j.contains("raw")) {
        RegValue r;
        r.kind = RegKind(j.at("raw").get<uint32_t>());
        r.bytes = from_hex(j.at("hex").get<std::string>());
        return r;
    }
    auto member = j.begin();
    const std::string& kind = member.key();
    const json& data = member.value();
    if (kind == "dword") return RegValue::dword(data.get<uint32_t>());
    if (kind == "qword") return RegValue::qword(data.get<uint64_t>());
    if (kind == "string") return RegValue::string(data.get<std::string>());
    if (kind == "expand_string") return RegValue::expand_string(data.get<std::string>());
    if (kind == "multi_string") return RegValue::multi_string(data.get<std::vector<std::string>>());
    if (kind == "binary") return RegValue::binary(from_hex(data.get<std::string>()));
    throw PlatformError("unknown value kind \"" + kind + "\"");
}

}  // namespace

SimRegistry::SimRegistry(fs::path file, Environment environment, Faults& faults)
    : file_(std::move(file)), env_(std::move(environment)), faults_(faults) {
    lock_file_ = file_;
    lock_file_ += ".lock";
    map_change_counter();
    for (auto& keys : hives_) add_root(keys);
    if (fs::exists(file_)) load();
}

SimRegistry::~SimRegistry() {
    if (changes_) ::munmap(changes_, sizeof(uint64_t));
}

// The first 8 bytes of the lock file count the changes written by every SimRegistry of the
// folder, in any process. Without the mapping every read falls back to a stat.
void SimRegistry::map_change_counter() {
    int fd = ::open(lock_file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (st.st_size >= off_t(sizeof(uint64_t)) || ::ftruncate(fd, sizeof(uint64_t)) == 0)) {
        void* p = ::mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (p != MAP_FAILED) changes_ = static_cast<uint64_t*>(p);
    }
    ::close(fd);
}

static int64_t coarse_now_ms() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SimRegistry::load() {
    FileStamp stamp;
    auto text = read_whole_file(file_, &stamp);
    if (!text) throw PlatformError("Cannot read " + file_.string());
    KeyMap fresh[2];
    try {
        json j = json::parse(*text);
        for (int h = 0; h < 2; ++h) {
            add_root(fresh[h]);
            if (!j.contains(kHiveNames[h])) continue;
            for (auto& [path, values] : j.at(kHiveNames[h]).items()) {
                if (!valid_key_path(path)) throw PlatformError("bad key path \"" + path + "\"");
                Key* key = make_key(fresh[h], path, nullptr);
                for (auto& [name, value] : values.items()) key->values.insert_or_assign(name, decode(value));
            }
        }
    } catch (const json::exception& e) {
        throw PlatformError("The registry file " + file_.string() + " is damaged: " + e.what());
    } catch (const PlatformError& e) {
        throw PlatformError("The registry file " + file_.string() + " is damaged: " + e.what());
    }
    for (int h = 0; h < 2; ++h) hives_[h].swap(fresh[h]);
    stamp_ = stamp;
}

void SimRegistry::persist() {
    // The same text as json::dump(1, '\t') of the whole registry, assembled from each key's
    // cached member.
    std::string out = "{";
    std::vector<Key*> keys;
    for (int h = 0; h < 2; ++h) {
        out += h == 0 ? "\n\t" : ",\n\t";
        out += json(kHiveNames[h]).dump() + ": ";
        keys.clear();
        for (auto& [path, key] : hives_[h])
            if (!(path.empty() && key->values.empty())) keys.push_back(key.get());
        if (keys.empty()) {
            out += "{}";
            continue;
        }
        std::sort(keys.begin(), keys.end(), [](const Key* a, const Key* b) { return a->path < b->path; });
        out += "{";
        for (size_t i = 0; i < keys.size(); ++i) {
            Key* key = keys[i];
            if (!key->text_ok) {
                json values = json::object();
                for (auto& [name, value] : key->values) values[name] = encode(value);
                std::string body = values.dump(1, '\t', false, json::error_handler_t::replace);
                key->text = json(key->path).dump(-1, ' ', false, json::error_handler_t::replace) + ": ";
                for (char c : body) {
                    key->text += c;
                    if (c == '\n') key->text += "\t\t";
                }
                key->text_ok = true;
            }
            out += i == 0 ? "\n\t\t" : ",\n\t\t";
            out += key->text;
        }
        out += "\n\t}";
    }
    out += "\n}\n";
    write_file_atomically(file_, out);
    stamp_ = stamp_of(file_);
    // Writers hold the lock file, so nobody else counts in between.
    if (changes_) seen_changes_ = std::atomic_ref<uint64_t>(*changes_).fetch_add(1, std::memory_order_acq_rel) + 1;
}

void SimRegistry::refresh(bool always_stat) {
    if (changes_ && !always_stat) {
        // Read before the stat: a write that lands after it changes the counter again.
        uint64_t changes = std::atomic_ref<uint64_t>(*changes_).load(std::memory_order_acquire);
        int64_t now_ms = coarse_now_ms();
        if (changes == seen_changes_ && now_ms - last_stat_ms_ < kRecheckMs) return;
        seen_changes_ = changes;
        last_stat_ms_ = now_ms;
    }
    FileStamp now = stamp_of(file_);
    if (now == stamp_ || now.size < 0) return;  // unchanged, or gone: keep what we have
    try {
        load();
    } catch (...) {
        stamp_ = now;  // a damaged file is not re-read until it changes again
    }
}

void SimRegistry::reset(const std::vector<RegEntry>& entries) {
    std::lock_guard lk(mu_);
    FileLock lock(lock_file_);
    for (auto& keys : hives_) add_root(keys);
    for (auto& e : entries) {
        if (!valid_key_path(e.key)) throw PlatformError("bad key path \"" + e.key + "\"");
        Key* key = make_key(hive_keys(e.hive), e.key, nullptr);
        if (e.name) key->values.insert_or_assign(*e.name, normalized(e.value));
        key->text_ok = false;
    }
    persist();
}

SimRegistry::KeyMap& SimRegistry::hive_keys(Hive hive) { return hives_[hive == Hive::CurrentUser ? 0 : 1]; }

SimRegistry::Key* SimRegistry::find_key(Hive hive, std::string_view subkey) {
    auto& keys = hive_keys(hive);
    auto it = keys.find(subkey);
    return it == keys.end() ? nullptr : it->second.get();
}

std::optional<RegValue> SimRegistry::get(Hive hive, std::string_view subkey, std::string_view name) {
    try {
        std::lock_guard lk(mu_);
        refresh();
        Key* key = find_key(hive, subkey);
        if (!key) return std::nullopt;
        auto it = key->values.find(name);
        if (it == key->values.end()) return std::nullopt;
        return it->second;
    } catch (...) {
        return std::nullopt;
    }
}

bool SimRegistry::key_exists(Hive hive, std::string_view subkey) {
    std::lock_guard lk(mu_);
    refresh();
    return find_key(hive, subkey) != nullptr;
}

void SimRegistry::set(Hive hive, std::string_view subkey, std::string_view name, const RegValue& value) {
    set_value(hive, subkey, name, value, true);
}

void SimRegistry::set_for_windows(Hive hive, std::string_view subkey, std::string_view name, const RegValue& value) {
    set_value(hive, subkey, name, value, false);
}

void SimRegistry::set_value(Hive hive, std::string_view subkey, std::string_view name, const RegValue& value,
                            bool programs_write) {
    if (!valid_key_path(subkey)) throw PlatformError("Cannot write " + describe(hive, subkey, name) + ": The key name is not valid.");
    RegValue stored = normalized(value);
    std::lock_guard lk(mu_);
    FileLock lock(lock_file_);
    refresh(true);
    const std::string what = describe(hive, subkey, name);
    if (programs_write) {
        faults_.before_registry_write(what);
        faults_.before_write({"registry set", what});
    }

    std::vector<Key*> made;
    Key* key = make_key(hive_keys(hive), subkey, &made);
    std::optional<RegValue> old;
    auto it = key->values.find(name);
    if (it != key->values.end()) {
        old = std::move(it->second);
        it->second = std::move(stored);
    } else {
        key->values.emplace(std::string(name), std::move(stored));
    }
    key->text_ok = false;
    try {
        persist();
    } catch (...) {
        if (old) key->values.find(name)->second = std::move(*old);
        else key->values.erase(key->values.find(name));
        key->text_ok = false;
        unmake_keys(hive_keys(hive), made);
        throw;
    }
}

void SimRegistry::create_key(Hive hive, std::string_view subkey) {
    if (!valid_key_path(subkey)) throw PlatformError("Cannot create " + describe(hive, subkey) + ": The key name is not valid.");
    std::lock_guard lk(mu_);
    FileLock lock(lock_file_);
    refresh(true);
    const std::string what = describe(hive, subkey);
    faults_.before_registry_write(what);
    if (find_key(hive, subkey)) return;
    faults_.before_write({"registry create_key", what});
    std::vector<Key*> made;
    make_key(hive_keys(hive), subkey, &made);
    try {
        persist();
    } catch (...) {
        unmake_keys(hive_keys(hive), made);
        throw;
    }
}

bool SimRegistry::remove(Hive hive, std::string_view subkey, std::string_view name) {
    std::lock_guard lk(mu_);
    FileLock lock(lock_file_);
    refresh(true);
    Key* key = find_key(hive, subkey);
    if (!key) return false;
    auto it = key->values.find(name);
    if (it == key->values.end()) return false;
    const std::string what = describe(hive, subkey, name);
    faults_.before_registry_write(what);
    faults_.before_write({"registry remove", what});
    std::string old_name = it->first;
    RegValue old = std::move(it->second);
    key->values.erase(it);
    key->text_ok = false;
    try {
        persist();
    } catch (...) {
        key->values.emplace(std::move(old_name), std::move(old));
        key->text_ok = false;
        throw;
    }
    return true;
}

bool SimRegistry::remove_tree(Hive hive, std::string_view subkey) {
    const std::string what = describe(hive, subkey);
    if (subkey.empty()) throw PlatformError("Cannot delete " + what + ": A hive's root key is never deleted.");
    if (!valid_key_path(subkey)) throw PlatformError("Cannot delete " + what + ": The key name is not valid.");
    std::lock_guard lk(mu_);
    FileLock lock(lock_file_);
    refresh(true);
    Key* top = find_key(hive, subkey);
    if (!top) return false;
    faults_.before_registry_write(what);
    faults_.before_write({"registry remove_tree", what});

    KeyMap& keys = hive_keys(hive);
    std::vector<Key*> below = {top};
    for (size_t i = 0; i < below.size(); ++i)
        below.insert(below.end(), below[i]->children.begin(), below[i]->children.end());
    size_t cut = top->path.rfind('\\');
    Key* parent = find_key(hive, cut == std::string::npos ? std::string_view() : std::string_view(top->path).substr(0, cut));
    auto at = std::find(parent->children.begin(), parent->children.end(), top);
    const size_t index = size_t(at - parent->children.begin());
    parent->children.erase(at);
    // Taken out whole, so that a failed write can put every key back as it was.
    std::vector<KeyMap::node_type> taken;
    for (Key* key : below) {
        std::string path = key->path;
        taken.push_back(keys.extract(path));
    }
    try {
        persist();
    } catch (...) {
        for (auto& node : taken) keys.insert(std::move(node));
        parent->children.insert(parent->children.begin() + ptrdiff_t(index), top);
        throw;
    }
    return true;
}

std::vector<std::string> SimRegistry::subkey_names(Hive hive, std::string_view subkey) {
    std::lock_guard lk(mu_);
    refresh();
    std::vector<std::string> out;
    if (Key* key = find_key(hive, subkey)) {
        for (Key* child : key->children) {
            size_t cut = child->path.rfind('\\');
            out.push_back(cut == std::string::npos ? child->path : child->path.substr(cut + 1));
        }
    }
    std::sort(out.begin(), out.end(), iless);
    return out;
}

std::vector<std::string> SimRegistry::value_names(Hive hive, std::string_view subkey) {
    std::lock_guard lk(mu_);
    refresh();
    std::vector<std::string> out;
    if (Key* key = find_key(hive, subkey))
        for (auto& [name, value] : key->values) out.push_back(name);
    std::sort(out.begin(), out.end(), iless);
    return out;
}

std::string SimRegistry::expand_environment(std::string_view text) {
    // As Windows does: a '%' without a known name after it is kept, and the '%' that closed
    // an unknown name may open the next reference.
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        size_t open = text.find('%', i);
        if (open == std::string_view::npos) break;
        out.append(text, i, open - i);
        size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos) {
            i = open;
            break;
        }
        std::string_view name = text.substr(open + 1, close - open - 1);
        auto it = name.empty() ? env_.end() : env_.find(name);
        if (it != env_.end()) {
            out += it->second;
            i = close + 1;
        } else {
            out.append(text, open, close - open);
            i = close;
        }
    }
    out.append(text, i);
    return out;
}

}  // namespace vexlo::sim
