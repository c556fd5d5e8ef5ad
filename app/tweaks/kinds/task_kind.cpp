#include "app/tweaks/kinds/task_kind.h"

#include "app/core/backup_store.h"
#include "app/core/text.h"
#include "app/tweaks/parse_context.h"
#include "app/tweaks/tweak.h"
#include "platform/platform.h"

namespace vexlo {

namespace {

constexpr const char* kDisabled = "Disabled";

// The task's state, from the pass's listing when there is one; `exists` false when missing.
std::string task_state(KindContext& ctx, const std::string& path, bool& exists) {
    if (ctx.task_cache) {
        auto it = ctx.task_cache->find(to_lower(path));
        exists = it != ctx.task_cache->end();
        return exists ? it->second : std::string();
    }
    auto [folder, name] = split_task_path(path);
    std::optional<platform::ScheduledTask> task;
    try {
        task = ctx.pf.tasks().find(folder, name);
    } catch (...) {
        // A task that cannot be read is treated as missing, as the full pass's listing does.
    }
    exists = task.has_value();
    return task ? task->state : std::string();
}

// The state recorded at the first apply, or none without a record.
std::optional<std::string> recorded_state(const BackupStore& store, std::string_view id) {
    const Json* rec = store.get(id);
    if (!rec || !rec->is_object() || !rec->contains("State") || !(*rec)["State"].is_string()) return std::nullopt;
    return (*rec)["State"].get<std::string>();
}

bool was_disabled(const BackupStore& store, std::string_view id) {
    auto was = recorded_state(store, id);
    return was && iequals(*was, kDisabled);
}

class TaskHandler final : public KindHandler {
public:
    Kind kind() const override { return Kind::Task; }
    std::string_view name() const override { return "task"; }
    std::string_view data_field() const override { return name(); }  // the field is named after the kind

    std::unique_ptr<KindData> parse(const Json& field, const ParseContext& ctx) const override {
        auto d = std::make_unique<TaskData>(ctx.text_value(field, data_field(), true));
        if (d->path.front() != '\\' || d->path.back() == '\\')
            ctx.fail("task path must begin with a backslash and name a task");
        return d;
    }

    std::optional<std::string> unavailable(const Tweak& t, KindContext& ctx) const override {
        bool exists = false;
        task_state(ctx, t.data_as<TaskData>().path, exists);
        if (exists) return std::nullopt;
        return "This task does not exist on your PC.";
    }

    bool state(const Tweak& t, KindContext& ctx) const override {
        bool exists = false;
        return iequals(task_state(ctx, t.data_as<TaskData>().path, exists), kDisabled);
    }

    void apply(const Tweak& t, KindContext& ctx) const override {
        auto [folder, name] = split_task_path(t.data_as<TaskData>().path);
        auto task = ctx.pf.tasks().find(folder, name);
        if (task && !ctx.store.has(t.id)) ctx.store.put_if_absent(t.id, Json{{"State", task->state}});
        ctx.pf.tasks().set_enabled(folder, name, false);
    }

    void revert(const Tweak& t, KindContext& ctx) const override {
        if (!was_disabled(ctx.store, t.id)) {
            auto [folder, name] = split_task_path(t.data_as<TaskData>().path);
            try {
                ctx.pf.tasks().set_enabled(folder, name, true);
            } catch (const std::exception&) {
                // A task that has gone is nothing to put back; one that stays disabled keeps
                // its record, so that a later revert can try again.
                bool gone = false;
                try {
                    gone = !ctx.pf.tasks().find(folder, name).has_value();
                } catch (const std::exception&) {
                    // Unreadable counts as still there: the record is kept.
                }
                if (!gone) throw;
            }
        }
        ctx.store.remove(t.id);
    }

    std::optional<std::string> record_problem(const Tweak&, const Json& rec) const override {
        if (!rec.is_object() || !rec.contains("State") || !rec["State"].is_string())
            return "not an object with a State text";
        return std::nullopt;
    }

    std::vector<PlannedChange> describe(const Tweak& t, KindContext& ctx, bool apply) const override {
        const std::string& path = t.data_as<TaskData>().path;
        if (!apply && was_disabled(ctx.store, t.id)) return {};
        auto [folder, name] = split_task_path(path);
        auto task = ctx.pf.tasks().find(folder, name);
        if (!task) return {};
        const bool disabled = iequals(task->state, kDisabled);
        if (apply) {
            if (disabled) return {};
            return {{"task " + path, task->state, kDisabled}};
        }
        if (!disabled) return {};
        // Enabled, a task is ready; one that was running or queued does not resume that.
        auto was = recorded_state(ctx.store, t.id);
        return {{"task " + path, task->state, was && iequals(*was, "Ready") ? *was : std::string("enabled")}};
    }
};

}  // namespace

std::pair<std::string, std::string> split_task_path(const std::string& path) {
    size_t cut = path.find_last_of('\\');
    if (cut == std::string::npos) return {"\\", path};
    return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

std::unordered_map<std::string, std::string> list_task_states(platform::TaskScheduler& tasks) {
    std::unordered_map<std::string, std::string> out;
    for (auto& task : tasks.list()) out[to_lower(task.folder + task.name)] = task.state;
    return out;
}

const KindHandler& task_handler() {
    static const TaskHandler handler;
    return handler;
}

}  // namespace vexlo
