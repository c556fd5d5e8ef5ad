#include "app/tweaks/kinds/startup_kind.h"

#include "app/tweaks/kinds/reg_backup.h"
#include "app/tweaks/parse_context.h"
#include "app/tweaks/tweak.h"

namespace vexlo {

namespace {

// The StartupApproved value: 12 bytes, the first odd when the entry is blocked (3), even when
// it may start (2).
RegWrite approval(const StartupData& d, bool blocked) {
    Json bytes = Json::array();
    bytes.push_back(blocked ? 3 : 2);
    for (int i = 1; i < 12; ++i) bytes.push_back(0);
    return {d.app, d.name, std::move(bytes), platform::RegKind::Binary};
}

class StartupHandler final : public KindHandler {
public:
    Kind kind() const override { return Kind::Startup; }
    std::string_view name() const override { return "startup"; }
    std::string_view data_field() const override { return {}; }

    std::unique_ptr<KindData> parse(const Json&, const ParseContext& ctx) const override {
        ctx.fail("startup entries come from the PC's startup list and cannot be declared");
    }

    // An entry keeps no record: blocking only flips the entry's own first byte.
    bool recorded(const Tweak&, KindContext&) const override { return false; }

    bool state(const Tweak& t, KindContext& ctx) const override {
        const auto& d = t.data_as<StartupData>();
        auto raw = ctx.reg.get_raw(d.app, d.name);
        return raw && raw->kind == platform::RegKind::Binary && !raw->bytes.empty() && (raw->bytes[0] & 1);
    }

    // No backup: the entry's two states are all there is.
    void apply(const Tweak& t, KindContext& ctx) const override { write_reg(ctx.reg, approval(t.data_as<StartupData>(), true)); }
    void revert(const Tweak& t, KindContext& ctx) const override { write_reg(ctx.reg, approval(t.data_as<StartupData>(), false)); }

    std::vector<PlannedChange> describe(const Tweak& t, KindContext& ctx, bool apply) const override {
        return describe_reg_writes(ctx.reg, {approval(t.data_as<StartupData>(), apply)});
    }
};

}  // namespace

const KindHandler& startup_handler() {
    static const StartupHandler handler;
    return handler;
}

}  // namespace vexlo
