// Scheduled tasks through the Task Scheduler's COM interface. Each call connects afresh: the
// calls are few, and a connection may not outlive the caller's COM apartment.
#include <windows.h>
#include <objbase.h>
#include <taskschd.h>

#include <string>
#include <vector>

#include "platform/win32/com.h"
#include "platform/win32/parts.h"
#include "platform/win32/wide.h"

namespace vexlo::win32 {
namespace {

using platform::LogonTask;
using platform::PlatformError;
using platform::ScheduledTask;

// MinGW's taskschd.h lacks the log-on trigger's interface. It follows ITrigger's methods in the
// vtable; the IID is the Windows SDK's.
struct LogonTrigger : public ITrigger {
    virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR* delay) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_UserId(BSTR* user) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_UserId(BSTR user) = 0;
};
constexpr IID kIidLogonTrigger = {0x72dade38, 0xfae4, 0x4b3e, {0xba, 0xf4, 0x5d, 0x00, 0x9a, 0xf0, 0x2b, 0x1c}};

// Normal: the service's default of 7 is below normal, with lower I/O and memory priority too,
// and a game at High priority would starve a booster started that way.
constexpr int kLogonTaskPriority = 5;

// Folders nest a few levels on a real PC; this bounds a walk through a broken store.
constexpr int kMaxFolderDepth = 32;

const char* state_text(TASK_STATE state) {
    switch (state) {
        case TASK_STATE_READY: return "Ready";
        case TASK_STATE_RUNNING: return "Running";
        case TASK_STATE_DISABLED: return "Disabled";
        case TASK_STATE_QUEUED: return "Queued";
        default: return "Unknown";
    }
}

bool iequal(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), int(a.size()), b.data(), int(b.size()), TRUE) == CSTR_EQUAL;
}

// The Task Scheduler names a folder "\A\B" and the root "\"; the application's folders end
// with a backslash.
std::wstring folder_path_for_api(std::string_view folder) {
    std::wstring path = widen(folder);
    if (path.empty() || path.front() != L'\\') path.insert(path.begin(), L'\\');
    while (path.size() > 1 && path.back() == L'\\') path.pop_back();
    return path;
}

VARIANT empty_variant() {
    VARIANT v;
    VariantInit(&v);
    return v;
}

VARIANT index_variant(LONG i) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = i;
    return v;
}

class Connection {
public:
    // Throws PlatformError saying `what` failed and why.
    explicit Connection(const std::string& what) {
        if (!apartment_.usable()) com::fail(what, apartment_.result());
        HRESULT hr = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                      service_.put_void());
        if (FAILED(hr)) com::fail(what, hr);
        VARIANT none = empty_variant();
        hr = service_->Connect(none, none, none, none);
        if (FAILED(hr)) com::fail(what, hr);
    }

    ITaskService* service() const { return service_.get(); }

    // The folder, or an empty pointer when it does not exist. Throws on other failures.
    com::Ptr<ITaskFolder> folder(const std::wstring& path, const std::string& what) {
        com::Ptr<ITaskFolder> f;
        com::Bstr p{std::wstring_view(path)};
        HRESULT hr = service_->GetFolder(p.get(), f.put());
        if (FAILED(hr)) {
            if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
                return {};
            com::fail(what, hr);
        }
        return f;
    }

private:
    com::Apartment apartment_;  // first member: outlives the interface pointers below
    com::Ptr<ITaskService> service_;
};

ScheduledTask describe(IRegisteredTask* task, const std::wstring& folder_path) {
    ScheduledTask out;
    com::Bstr name;
    if (SUCCEEDED(task->get_Name(name.put()))) out.name = name.utf8();
    TASK_STATE state = TASK_STATE_UNKNOWN;
    if (FAILED(task->get_State(&state))) state = TASK_STATE_UNKNOWN;
    out.state = state_text(state);
    out.folder = narrow(folder_path);
    if (out.folder.empty() || out.folder.back() != '\\') out.folder += '\\';
    return out;
}

// Every task of the folder (hidden ones included) and of its subfolders. A folder that cannot be
// read (access denied on some of Microsoft's) is skipped rather than ending the listing.
void walk(ITaskFolder* folder, int depth, std::vector<ScheduledTask>& out) {
    com::Bstr path;
    if (FAILED(folder->get_Path(path.put()))) return;
    std::wstring folder_path(path.view());

    com::Ptr<IRegisteredTaskCollection> tasks;
    if (SUCCEEDED(folder->GetTasks(TASK_ENUM_HIDDEN, tasks.put()))) {
        LONG count = 0;
        if (SUCCEEDED(tasks->get_Count(&count))) {
            for (LONG i = 1; i <= count; ++i) {  // the collection counts from 1
                com::Ptr<IRegisteredTask> task;
                if (SUCCEEDED(tasks->get_Item(index_variant(i), task.put()))) out.push_back(describe(task.get(), folder_path));
            }
        }
    }
    if (depth >= kMaxFolderDepth) return;
    com::Ptr<ITaskFolderCollection> subfolders;
    if (FAILED(folder->GetFolders(0, subfolders.put()))) return;
    LONG count = 0;
    if (FAILED(subfolders->get_Count(&count))) return;
    for (LONG i = 1; i <= count; ++i) {
        com::Ptr<ITaskFolder> sub;
        if (SUCCEEDED(subfolders->get_Item(index_variant(i), sub.put()))) walk(sub.get(), depth + 1, out);
    }
}

// The task in the folder, matched without regard to case; empty when missing.
com::Ptr<IRegisteredTask> lookup(Connection& c, std::string_view folder, std::string_view name, const std::string& what) {
    std::wstring path = folder_path_for_api(folder);
    com::Ptr<ITaskFolder> f = c.folder(path, what);
    if (!f) return {};
    std::wstring wanted = widen(name);
    com::Ptr<IRegisteredTask> task;
    com::Bstr n{std::wstring_view(wanted)};
    HRESULT hr = f->GetTask(n.get(), task.put());
    if (SUCCEEDED(hr)) return task;
    if (hr != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) && hr != HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
        com::fail(what, hr);
    // The service's own lookup follows the file system's rules for case; compare names here in
    // case a store does not.
    com::Ptr<IRegisteredTaskCollection> tasks;
    if (FAILED(f->GetTasks(TASK_ENUM_HIDDEN, tasks.put()))) return {};
    LONG count = 0;
    if (FAILED(tasks->get_Count(&count))) return {};
    for (LONG i = 1; i <= count; ++i) {
        com::Ptr<IRegisteredTask> candidate;
        com::Bstr candidate_name;
        if (SUCCEEDED(tasks->get_Item(index_variant(i), candidate.put())) &&
            SUCCEEDED(candidate->get_Name(candidate_name.put())) && iequal(candidate_name.view(), wanted))
            return candidate;
    }
    return {};
}

// The folder part of a task's full path ("\A\B\Task" -> "\A\B"), for reporting the stored case.
std::wstring parent_of(IRegisteredTask* task, std::string_view fallback) {
    com::Bstr path;
    if (SUCCEEDED(task->get_Path(path.put()))) {
        std::wstring p(path.view());
        size_t cut = p.find_last_of(L'\\');
        if (cut != std::wstring::npos) return p.substr(0, cut == 0 ? 1 : cut);
    }
    return folder_path_for_api(fallback);
}

std::string task_path_text(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (path.empty() || path.back() != '\\') path += '\\';
    return path + std::string(name);
}

bool not_found(HRESULT hr) {
    return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

com::Ptr<ITaskDefinition> logon_definition(ITaskService* service, const LogonTask& task, const std::string& what) {
    // A failure names the part of the task it was in: a Task Scheduler may lack one.
    const char* part = "the definition";
    auto check = [&](HRESULT hr) {
        if (FAILED(hr)) com::fail(what + " (" + part + ")", hr);
    };
    com::Ptr<ITaskDefinition> definition;
    check(service->NewTask(0, definition.put()));

    part = "its description";
    com::Ptr<IRegistrationInfo> info;
    check(definition->get_RegistrationInfo(info.put()));
    check(info->put_Author(com::Bstr(std::wstring_view(L"Vexlo Tweaks")).get()));
    check(info->put_Description(
        com::Bstr(std::wstring_view(L"Starts the Vexlo Tweaks game booster in the notification area at sign-in.")).get()));

    // Highest with the user's interactive token: the program starts elevated, without a prompt,
    // in the user's session and only while the user is signed in.
    part = "its principal";
    com::Ptr<IPrincipal> principal;
    check(definition->get_Principal(principal.put()));
    check(principal->put_UserId(com::Bstr(task.user).get()));
    check(principal->put_LogonType(TASK_LOGON_INTERACTIVE_TOKEN));
    check(principal->put_RunLevel(TASK_RUNLEVEL_HIGHEST));

    part = "its log-on trigger";
    com::Ptr<ITriggerCollection> triggers;
    check(definition->get_Triggers(triggers.put()));
    com::Ptr<ITrigger> trigger;
    check(triggers->Create(TASK_TRIGGER_LOGON, trigger.put()));
    com::Ptr<LogonTrigger> logon;
    check(trigger->QueryInterface(kIidLogonTrigger, logon.put_void()));
    check(logon->put_UserId(com::Bstr(task.user).get()));

    part = "its action";
    com::Ptr<IActionCollection> actions;
    check(definition->get_Actions(actions.put()));
    com::Ptr<IAction> action;
    check(actions->Create(TASK_ACTION_EXEC, action.put()));
    com::Ptr<IExecAction> exec;
    check(action->QueryInterface(IID_IExecAction, exec.put_void()));
    check(exec->put_Path(com::Bstr(task.program).get()));
    check(exec->put_Arguments(com::Bstr(task.arguments).get()));

    part = "its settings";
    com::Ptr<ITaskSettings> settings;
    check(definition->get_Settings(settings.put()));
    check(settings->put_ExecutionTimeLimit(com::Bstr(std::wstring_view(L"PT0S")).get()));  // no limit
    check(settings->put_DisallowStartIfOnBatteries(VARIANT_FALSE));
    check(settings->put_StopIfGoingOnBatteries(VARIANT_FALSE));
    check(settings->put_Priority(kLogonTaskPriority));
    return definition;
}

// The first action of a task, when it starts a program; empty otherwise.
com::Ptr<IExecAction> first_exec_action(ITaskDefinition* definition) {
    com::Ptr<IActionCollection> actions;
    LONG count = 0;
    if (FAILED(definition->get_Actions(actions.put())) || FAILED(actions->get_Count(&count)) || count < 1) return {};
    com::Ptr<IAction> action;
    if (FAILED(actions->get_Item(1, action.put()))) return {};  // the collection counts from 1
    TASK_ACTION_TYPE type = TASK_ACTION_EXEC;
    if (FAILED(action->get_Type(&type)) || type != TASK_ACTION_EXEC) return {};
    com::Ptr<IExecAction> exec;
    if (FAILED(action->QueryInterface(IID_IExecAction, exec.put_void()))) return {};
    return exec;
}

class ComTaskScheduler final : public platform::TaskScheduler {
public:
    std::vector<ScheduledTask> list() override {
        std::vector<ScheduledTask> out;
        try {
            Connection c("Cannot list the scheduled tasks");
            com::Ptr<ITaskFolder> root = c.folder(L"\\", "Cannot list the scheduled tasks");
            if (root) walk(root.get(), 0, out);
        } catch (const PlatformError&) {
            return {};
        }
        return out;
    }

    std::optional<ScheduledTask> find(std::string_view folder, std::string_view name) override {
        // A task that cannot be read (the service is down, access is denied) is as good as
        // missing to the caller, which then shows the tweak as unavailable.
        try {
            const std::string what = "Cannot read the task " + task_path_text(folder, name);
            Connection c(what);
            com::Ptr<IRegisteredTask> task = lookup(c, folder, name, what);
            if (!task) return std::nullopt;
            return describe(task.get(), parent_of(task.get(), folder));
        } catch (const PlatformError&) {
            return std::nullopt;
        }
    }

    void set_enabled(std::string_view folder, std::string_view name, bool enabled) override {
        const std::string path = task_path_text(folder, name);
        const std::string what = std::string(enabled ? "Cannot enable" : "Cannot disable") + " the task " + path;
        Connection c(what);
        com::Ptr<IRegisteredTask> task = lookup(c, folder, name, what);
        if (!task)
            throw PlatformError("The task " + path + " does not exist: The system cannot find the file specified.");
        HRESULT hr = task->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE);
        if (FAILED(hr)) com::fail(what, hr);
    }

    void register_logon_task(const LogonTask& task) override {
        const std::string what = "Cannot register the task " + task.name;
        Connection c(what);
        com::Ptr<ITaskFolder> root = c.folder(L"\\", what);
        if (!root) throw PlatformError(what + ": the Task Scheduler has no root folder.");
        com::Ptr<ITaskDefinition> definition = logon_definition(c.service(), task, what);
        VARIANT none = empty_variant();  // the principal names the user; no password with a token
        com::Ptr<IRegisteredTask> registered;
        HRESULT hr = root->RegisterTaskDefinition(com::Bstr(task.name).get(), definition.get(), TASK_CREATE_OR_UPDATE,
                                                  none, none, TASK_LOGON_INTERACTIVE_TOKEN, none, registered.put());
        if (FAILED(hr)) com::fail(what, hr);
    }

    std::optional<LogonTask> logon_task(std::string_view name) override {
        // Like find(): a task that cannot be read is as good as missing to the caller, which
        // then offers to register it again.
        try {
            const std::string what = "Cannot read the task \\" + std::string(name);
            Connection c(what);
            com::Ptr<ITaskFolder> root = c.folder(L"\\", what);
            if (!root) return std::nullopt;
            com::Ptr<IRegisteredTask> task;
            HRESULT hr = root->GetTask(com::Bstr(name).get(), task.put());
            if (FAILED(hr)) return std::nullopt;
            com::Ptr<ITaskDefinition> definition;
            if (FAILED(task->get_Definition(definition.put()))) return std::nullopt;
            com::Ptr<IExecAction> exec = first_exec_action(definition.get());
            if (!exec) return std::nullopt;
            LogonTask out;
            com::Bstr text;
            out.name = SUCCEEDED(task->get_Name(text.put())) ? text.utf8() : std::string(name);
            if (FAILED(exec->get_Path(text.put()))) return std::nullopt;
            out.program = text.utf8();
            if (SUCCEEDED(exec->get_Arguments(text.put()))) out.arguments = text.utf8();
            com::Ptr<IPrincipal> principal;
            if (SUCCEEDED(definition->get_Principal(principal.put())) && SUCCEEDED(principal->get_UserId(text.put())))
                out.user = text.utf8();
            return out;
        } catch (const PlatformError&) {
            return std::nullopt;
        }
    }

    void delete_task(std::string_view name) override {
        const std::string what = "Cannot remove the task \\" + std::string(name);
        Connection c(what);
        com::Ptr<ITaskFolder> root = c.folder(L"\\", what);
        if (!root) return;
        HRESULT hr = root->DeleteTask(com::Bstr(name).get(), 0);
        if (FAILED(hr) && !not_found(hr)) com::fail(what, hr);
    }
};

}  // namespace

std::unique_ptr<platform::TaskScheduler> make_task_scheduler() { return std::make_unique<ComTaskScheduler>(); }

}  // namespace vexlo::win32
