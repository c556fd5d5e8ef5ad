#include "app/tweaks/engine.h"

#include <stdexcept>

#include "app/core/text.h"

namespace vexlo {

namespace {
constexpr const char* kNotSupported = "Not supported on this PC.";

std::vector<uint8_t> startup_bytes(uint8_t first) {
    std::vector<uint8_t> b(12, 0);
    b[0] = first;
    return b;
}

Json bytes_json(const std::vector<uint8_t>& b) {
    Json a = Json::array();
    for (auto x : b) a.push_back(int(x));
    return a;
}

// Runs on scope exit, also when an exception leaves the scope.
template <class F>
struct Finally {
    F f;
    ~Finally() { f(); }
};
template <class F>
Finally(F) -> Finally<F>;
}  // namespace

std::pair<std::string, std::string> split_task_path(const std::string& path) {
    size_t cut = path.find_last_of('\\');
    if (cut == std::string::npos) return {"\\", path};
    return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

Engine::Engine(Reg& reg, BackupStore& store, platform::Platform& pf, IniFile& ini)
    : reg_(reg), store_(store), pf_(pf), ini_(ini), nic_(pf.network()), dev_(pf.devices()) {}

void Engine::refresh_caches() {
    nic_.refresh();
    dev_.refresh();
}

RegE Engine::service_start_entry(const Tweak& t) const {
    return RegE{std::string(kSvcRoot) + "\\" + t.svc.n, "Start", t.svc.s, platform::RegKind::DWord, 3};
}

std::string Engine::task_state(const std::string& path, bool& exists) {
    if (task_cache_) {
        auto it = task_cache_->find(to_lower(path));
        exists = it != task_cache_->end();
        return exists ? it->second : std::string();
    }
    auto [folder, name] = split_task_path(path);
    std::optional<platform::ScheduledTask> task;
    try {
        task = pf_.tasks().find(folder, name);
    } catch (...) {
    }
    exists = task.has_value();
    return task ? task->state : std::string();
}

bool Engine::test_kind(Tweak& t) {
    switch (t.kind) {
        case Kind::Reg:
            for (const RegE& e : t.reg)
                if (!iequals(value_text(reg_.get(e.p, e.n)), value_text(e.v))) return false;
            return true;
        case Kind::Svc: {
            Json start = reg_.get(std::string(kSvcRoot) + "\\" + t.svc.n, "Start");
            return start.is_number_integer() && start.get<int64_t>() == t.svc.s;
        }
        case Kind::Task: {
            bool exists = false;
            return iequals(task_state(t.task, exists), "Disabled");
        }
        case Kind::Pwr: {
            auto v = pf_.power().ac_index(t.pwr.sub, t.pwr.set);
            return v && *v == t.pwr.v;
        }
        case Kind::Nic: {
            auto targets = nic_.targets(t.nic);
            if (targets.empty()) return false;
            for (auto& x : targets)
                if (!iequals(x.current, x.want)) return false;
            return true;
        }
        case Kind::DevPwr: {
            auto objs = dev_.objects(t.devpwr);
            if (objs.empty()) return false;
            for (auto& o : objs)
                if (o.enable) return false;
            return true;
        }
        case Kind::Ini:
            for (const IniE& e : t.ini)
                if (!ini_equal(ini_.get(e.s, e.k), e.v)) return false;
            return true;
        case Kind::Startup: {
            auto raw = reg_.get_raw(t.startup.app, t.startup.name);
            return raw && raw->kind == platform::RegKind::Binary && !raw->bytes.empty() && (raw->bytes[0] & 1);
        }
        case Kind::Custom:
            return t.check && t.check();
    }
    return false;
}

void Engine::test_available(Tweak& t) {
    bool ok = true;
    std::string reason = kNotSupported;
    try {
        switch (t.kind) {
            case Kind::Svc:
                ok = reg_.key_exists(std::string(kSvcRoot) + "\\" + t.svc.n);
                if (!ok) reason = "This service is not installed on your PC.";
                break;
            case Kind::Task: {
                bool exists = false;
                task_state(t.task, exists);
                ok = exists;
                if (!ok) reason = "This task does not exist on your PC.";
                break;
            }
            case Kind::Pwr:
                ok = pf_.power().ac_index(t.pwr.sub, t.pwr.set).has_value();
                if (!ok) reason = "Your power plan does not expose this setting.";
                break;
            case Kind::Nic:
                ok = !nic_.targets(t.nic).empty();
                if (!ok) reason = "Your network adapter does not have this setting.";
                break;
            case Kind::DevPwr:
                ok = !dev_.objects(t.devpwr).empty();
                if (!ok) reason = "No matching devices found.";
                break;
            default:
                break;
        }
    } catch (...) {
        ok = false;
    }
    if (ok && t.avail) {
        bool pass = false;
        try {
            pass = t.avail();
        } catch (...) {
            pass = false;
        }
        if (!pass) {
            ok = false;
            if (!t.why.empty()) reason = t.why;
        }
    }
    t.available = ok;
    t.reason = ok ? std::string() : reason;
}

void Engine::apply_kind(Tweak& t) {
    switch (t.kind) {
        case Kind::Reg:
            store_.backup_reg(t.id, t.reg, reg_);
            for (const RegE& e : t.reg) reg_.set(e.p, e.n, e.v, e.t);
            return;
        case Kind::Svc: {
            RegE start = service_start_entry(t);
            store_.backup_reg(t.id, {start}, reg_);
            reg_.set(start.p, start.n, t.svc.s, platform::RegKind::DWord);
            if (t.svc.s == 4) {
                try {
                    pf_.services().stop(t.svc.n);
                } catch (...) {
                }
            }
            return;
        }
        case Kind::Task: {
            auto [folder, name] = split_task_path(t.task);
            auto task = pf_.tasks().find(folder, name);
            if (task && !store_.has(t.id)) store_.put_if_absent(t.id, Json{{"State", task->state}});
            pf_.tasks().set_enabled(folder, name, false);
            return;
        }
        case Kind::Pwr: {
            if (!store_.has(t.id)) {
                auto v = pf_.power().ac_index(t.pwr.sub, t.pwr.set);
                store_.put_if_absent(t.id, Json{{"V", v ? Json(*v) : Json(nullptr)}});
            }
            pf_.power().set_ac_index(t.pwr.sub, t.pwr.set, t.pwr.v);
            return;
        }
        case Kind::Nic: {
            Finally after{[this] {
                nic_.refresh();
            }};
            Json changed = Json::array();
            for (auto& x : nic_.targets(t.nic)) {
                if (iequals(x.current, x.want)) continue;
                changed.push_back({{"A", x.adapter}, {"D", x.display_name}, {"V", x.current}});
                nic_dirty = true;
                pf_.network().set_adapter_property(x.adapter, x.display_name, x.want);
            }
            store_.put_if_absent(t.id, std::move(changed));
            nic_dirty = true;
            return;
        }
        case Kind::DevPwr: {
            Json changed = Json::array();
            for (auto& o : dev_.objects(t.devpwr)) {
                if (!o.enable) continue;
                changed.push_back({{"I", o.instance_name}});
                try {
                    pf_.devices().set_power_enable(o.instance_name, false);
                } catch (...) {
                }
            }
            store_.put_if_absent(t.id, std::move(changed));
            dev_.refresh();
            return;
        }
        case Kind::Ini: {
            ini_.backup_once();
            if (!store_.has(t.id)) {
                Json rec = Json::array();
                for (const IniE& e : t.ini) {
                    auto cur = ini_.get(e.s, e.k);
                    rec.push_back({{"S", e.s}, {"K", e.k}, {"V", cur ? Json(*cur) : Json(nullptr)}});
                }
                store_.put_if_absent(t.id, std::move(rec));
            }
            for (const IniE& e : t.ini) ini_.set(e.s, e.k, std::string_view(e.v));
            return;
        }
        case Kind::Startup:
            reg_.set(t.startup.app, t.startup.name, bytes_json(startup_bytes(3)), platform::RegKind::Binary);
            return;
        case Kind::Custom:
            if (!t.apply) throw std::runtime_error("This tweak has no apply operation.");
            t.apply();
            return;
    }
}

void Engine::revert_kind(Tweak& t) {
    switch (t.kind) {
        case Kind::Reg:
            store_.restore_reg(t.id, t.reg, reg_);
            return;
        case Kind::Svc: {
            RegE start = service_start_entry(t);
            store_.restore_reg(t.id, {start}, reg_);
            Json now = reg_.get(start.p, start.n);
            if (now.is_number_integer() && now.get<int64_t>() == 2) {
                try {
                    pf_.services().start(t.svc.n);
                } catch (...) {
                }
            }
            return;
        }
        case Kind::Task: {
            const Json* rec = store_.get(t.id);
            bool was_disabled = rec && rec->is_object() && rec->contains("State") && (*rec)["State"].is_string() &&
                                iequals((*rec)["State"].get<std::string>(), "Disabled");
            if (!was_disabled) {
                auto [folder, name] = split_task_path(t.task);
                try {
                    pf_.tasks().set_enabled(folder, name, true);
                } catch (...) {
                }
            }
            store_.remove(t.id);
            return;
        }
        case Kind::Pwr: {
            int32_t value = t.pwr.def;
            if (const Json* rec = store_.get(t.id); rec && rec->is_object() && rec->contains("V") &&
                                                    (*rec)["V"].is_number_integer())
                value = int32_t((*rec)["V"].get<int64_t>());
            if (value == t.pwr.v) value = t.pwr.def;
            pf_.power().set_ac_index(t.pwr.sub, t.pwr.set, value);
            store_.remove(t.id);
            return;
        }
        case Kind::Nic: {
            Finally after{[this] {
                nic_.refresh();
                nic_dirty = true;
            }};
            const Json* rec = store_.get(t.id);
            bool restored = false;
            if (rec && rec->is_array()) {
                for (auto& r : *rec) {
                    if (!r.is_object() || !r.contains("A") || !r.contains("D") || !r.contains("V")) continue;
                    restored = true;
                    try {
                        pf_.network().set_adapter_property(value_text(r["A"]), value_text(r["D"]), value_text(r["V"]));
                    } catch (...) {
                    }
                }
            }
            store_.remove(t.id);
            if (!restored) {
                for (auto& x : nic_.targets(t.nic)) {
                    for (auto& v : x.valid) {
                        if (iequals(v, x.want)) continue;
                        try {
                            pf_.network().set_adapter_property(x.adapter, x.display_name, v);
                        } catch (...) {
                        }
                        break;
                    }
                }
            }
            return;
        }
        case Kind::DevPwr: {
            std::vector<std::string> names;
            if (const Json* rec = store_.get(t.id); rec && rec->is_array())
                for (auto& r : *rec)
                    if (r.is_object() && r.contains("I") && r["I"].is_string()) names.push_back(r["I"].get<std::string>());
            for (auto& o : dev_.objects(t.devpwr)) {
                bool listed = names.empty();
                for (auto& n : names) listed = listed || iequals(n, o.instance_name);
                if (!listed) continue;
                try {
                    pf_.devices().set_power_enable(o.instance_name, true);
                } catch (...) {
                }
            }
            store_.remove(t.id);
            dev_.refresh();
            return;
        }
        case Kind::Ini: {
            if (const Json* rec = store_.get(t.id)) {
                if (rec->is_array())
                    for (auto& r : *rec) {
                        if (!r.is_object() || !r.contains("S") || !r.contains("K")) continue;
                        std::optional<std::string> v;
                        if (r.contains("V") && !r["V"].is_null()) v = value_text(r["V"]);
                        ini_.set(value_text(r["S"]), value_text(r["K"]),
                                 v ? std::optional<std::string_view>(*v) : std::nullopt);
                    }
            } else {
                for (const IniE& e : t.ini)
                    if (e.o) ini_.set(e.s, e.k, std::string_view(*e.o));
            }
            store_.remove(t.id);
            return;
        }
        case Kind::Startup:
            reg_.set(t.startup.app, t.startup.name, bytes_json(startup_bytes(2)), platform::RegKind::Binary);
            return;
        case Kind::Custom:
            if (!t.revert) throw std::runtime_error("This tweak has no revert operation.");
            t.revert();
            return;
    }
}

void Engine::sync_state(Tweak& t) {
    try {
        t.state = test_kind(t);
    } catch (...) {
        t.state = false;
    }
}

void Engine::full_state_pass(Catalog& cat, const std::function<void(size_t, size_t)>& progress) {
    task_cache_.emplace();
    try {
        for (auto& task : pf_.tasks().list()) (*task_cache_)[to_lower(task.folder + task.name)] = task.state;
    } catch (...) {
        task_cache_->clear();
    }
    Finally drop{[this] { task_cache_.reset(); }};
    const size_t n = cat.tweaks.size();
    for (size_t i = 0; i < n; ++i) {
        Tweak& t = *cat.tweaks[i];
        test_available(t);
        if (t.available)
            sync_state(t);
        else
            t.state = false;
        if (progress) progress(i + 1, n);
    }
}

}  // namespace vexlo
