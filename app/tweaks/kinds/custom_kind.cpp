#include "app/tweaks/kinds/custom_kind.h"

#include <stdexcept>

#include "app/tweaks/change_marks.h"
#include "app/tweaks/parse_context.h"
#include "app/tweaks/tweak.h"

namespace vexlo {

namespace {

class CustomHandler final : public KindHandler {
public:
    Kind kind() const override { return Kind::Custom; }
    std::string_view name() const override { return "custom"; }
    std::string_view data_field() const override { return "ops"; }

    std::unique_ptr<KindData> parse(const Json& field, const ParseContext& ctx) const override {
        std::string name = ctx.text_value(field, "ops", true);
        auto it = ctx.ops().customs.find(name);
        if (it == ctx.ops().customs.end()) ctx.fail("no operations are registered as '" + name + "'");
        return std::make_unique<CustomData>(it->second);
    }

    bool state(const Tweak& t, KindContext&) const override {
        const auto& ops = t.data_as<CustomData>().ops;
        return ops.check && ops.check();
    }

    void apply(const Tweak& t, KindContext& ctx) const override {
        const auto& ops = t.data_as<CustomData>().ops;
        if (!ops.apply) throw std::runtime_error("This tweak has no apply operation.");
        // Operations that keep no record of their own are marked before they change anything.
        if (!ops.recorded) set_change_mark(ctx.reg, t.id, true);
        ops.apply();
    }

    void revert(const Tweak& t, KindContext& ctx) const override {
        const auto& ops = t.data_as<CustomData>().ops;
        if (!ops.revert) throw std::runtime_error("This tweak has no revert operation.");
        ops.revert();
        if (!ops.recorded) set_change_mark(ctx.reg, t.id, false);
    }

    bool recorded(const Tweak& t, KindContext& ctx) const override {
        const auto& ops = t.data_as<CustomData>().ops;
        return ops.recorded ? ops.recorded() : has_change_mark(ctx.reg, t.id);
    }

    std::optional<std::string> record_problem(const Tweak& t, const Json& rec) const override {
        const auto& ops = t.data_as<CustomData>().ops;
        return ops.record_problem ? ops.record_problem(rec) : std::nullopt;
    }

    std::vector<PlannedChange> describe(const Tweak& t, KindContext&, bool apply) const override {
        const auto& ops = t.data_as<CustomData>().ops;
        if (!ops.describe) throw std::runtime_error("This tweak cannot list the changes it makes.");
        return ops.describe(apply);
    }
};

}  // namespace

const KindHandler& custom_handler() {
    static const CustomHandler handler;
    return handler;
}

}  // namespace vexlo
