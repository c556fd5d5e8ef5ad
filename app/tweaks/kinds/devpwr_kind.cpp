#include "app/tweaks/kinds/devpwr_kind.h"

#include <algorithm>
#include <stdexcept>

#include "app/core/backup_store.h"
#include "app/core/device_power.h"
#include "app/core/text.h"
#include "app/tweaks/parse_context.h"
#include "app/tweaks/scope_exit.h"
#include "app/tweaks/tweak.h"
#include "platform/platform.h"

namespace vexlo {

namespace {

// The devices a revert lets turn off again: those the apply recorded, or every matching one
// when it recorded none.
std::vector<platform::DevicePower> revert_targets(const Tweak& t, KindContext& ctx) {
    std::vector<std::string> names;
    if (const Json* rec = ctx.store.get(t.id); rec && rec->is_array())
        for (auto& r : *rec)
            if (r.is_object() && r.contains("I") && r["I"].is_string()) names.push_back(r["I"].get<std::string>());
    std::vector<platform::DevicePower> out;
    for (auto& o : ctx.dev.objects(t.data_as<DevPwrData>().classes)) {
        bool listed = names.empty();
        for (auto& n : names) listed = listed || iequals(n, o.instance_name);
        if (listed) out.push_back(o);
    }
    return out;
}

PlannedChange switch_change(const platform::DevicePower& o, bool next) {
    return {"device " + o.instance_name + " may turn off to save power", o.enable ? "yes" : "no", next ? "yes" : "no"};
}

// "USB, HIDClass, Bluetooth or Net".
std::string class_list() {
    std::string out;
    const size_t n = std::size(kDeviceClasses);
    for (size_t i = 0; i < n; ++i) out += (i == 0 ? "" : i + 1 == n ? " or " : ", ") + std::string(kDeviceClasses[i]);
    return out;
}

void set_power_saving(KindContext& ctx, const std::string& instance_name, bool enable) {
    try {
        ctx.pf.devices().set_power_enable(instance_name, enable);
    } catch (...) {
        // Best effort, device by device: the next state test shows what stayed.
    }
}

class DevPwrHandler final : public KindHandler {
public:
    Kind kind() const override { return Kind::DevPwr; }
    std::string_view name() const override { return "devpwr"; }
    std::string_view data_field() const override { return name(); }  // the field is named after the kind

    std::unique_ptr<KindData> parse(const Json& field, const ParseContext& ctx) const override {
        if (!field.is_array() || field.empty()) ctx.fail("devpwr needs a list of device classes");
        auto d = std::make_unique<DevPwrData>();
        for (auto& e : field) {
            if (!e.is_string() ||
                std::find(std::begin(kDeviceClasses), std::end(kDeviceClasses), e.get<std::string>()) == std::end(kDeviceClasses))
                ctx.fail("device classes are " + class_list());
            d->classes.push_back(e.get<std::string>());
        }
        return d;
    }

    std::optional<std::string> unavailable(const Tweak& t, KindContext& ctx) const override {
        if (!ctx.dev.objects(t.data_as<DevPwrData>().classes).empty()) return std::nullopt;
        return "No matching devices found.";
    }

    bool state(const Tweak& t, KindContext& ctx) const override {
        auto objs = ctx.dev.objects(t.data_as<DevPwrData>().classes);
        if (objs.empty()) return false;
        for (auto& o : objs)
            if (o.enable) return false;
        return true;
    }

    void apply(const Tweak& t, KindContext& ctx) const override {
        Finally after{[&ctx] { ctx.dev.refresh(); }};
        std::vector<std::string> names;
        for (auto& o : ctx.dev.objects(t.data_as<DevPwrData>().classes))
            if (o.enable) names.push_back(o.instance_name);
        // The devices about to change are on disk before the first of them does.
        Json changed = Json::array();
        for (auto& n : names) changed.push_back({{"I", n}});
        ctx.store.put_if_absent(t.id, std::move(changed));
        for (auto& n : names) set_power_saving(ctx, n, false);
    }

    void revert(const Tweak& t, KindContext& ctx) const override {
        Finally after{[&ctx] { ctx.dev.refresh(); }};
        std::string failed;
        for (auto& o : revert_targets(t, ctx)) {
            try {
                ctx.pf.devices().set_power_enable(o.instance_name, true);
            } catch (const std::exception& e) {
                // Device by device: the others still go back.
                if (failed.empty()) failed = e.what();
            }
        }
        // A device that did not go back keeps the record, so that nothing is lost.
        if (!failed.empty()) throw std::runtime_error(failed);
        ctx.store.remove(t.id);
    }

    std::optional<std::string> record_problem(const Tweak&, const Json& rec) const override {
        if (!rec.is_array()) return "not a list of devices";
        for (auto& r : rec)
            if (!r.is_null() && (!r.is_object() || !r.contains("I") || !r["I"].is_string()))
                return "an entry is not a device instance name";
        return std::nullopt;
    }

    std::vector<PlannedChange> describe(const Tweak& t, KindContext& ctx, bool apply) const override {
        std::vector<PlannedChange> out;
        for (auto& o : apply ? ctx.dev.objects(t.data_as<DevPwrData>().classes) : revert_targets(t, ctx))
            if (o.enable != !apply) out.push_back(switch_change(o, !apply));
        return out;
    }
};

}  // namespace

const KindHandler& devpwr_handler() {
    static const DevPwrHandler handler;
    return handler;
}

}  // namespace vexlo
