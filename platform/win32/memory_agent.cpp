// The memory manager agent's features (memory compression, page combining, application
// pre-launch). Windows exposes them through PowerShell's MMAgent cmdlets; this runs those.
#include <chrono>

#include "platform/win32/mmagent_text.h"
#include "platform/win32/parts.h"
#include "platform/win32/tool_process.h"

namespace vexlo::win32 {

namespace {

using platform::MemoryFeature;
using platform::PlatformError;

// PowerShell's first start on a cold PC can take several seconds.
constexpr std::chrono::seconds kPowerShellLimit{90};

const char* feature_text(MemoryFeature f) {
    switch (f) {
        case MemoryFeature::Compression: return "memory compression";
        case MemoryFeature::PageCombining: return "page combining";
        case MemoryFeature::ApplicationPreLaunch: break;
    }
    return "application pre-launch";
}

ToolRun powershell(const std::wstring& script) {
    return run_tool(system_tool(L"WindowsPowerShell\\v1.0\\powershell.exe"), powershell_arguments(script),
                    kPowerShellLimit);
}

class PowerShellMemoryAgent final : public platform::MemoryAgent {
public:
    std::optional<bool> enabled(MemoryFeature feature) override {
        try {
            ToolRun run = powershell(mmagent_read_command(feature));
            if (run.exit_code != 0) return std::nullopt;
            return parse_mmagent_flag(run.output);
        } catch (const PlatformError&) {
            return std::nullopt;
        }
    }

    void set_enabled(MemoryFeature feature, bool on) override {
        const std::string what = std::string("Cannot turn ") + (on ? "on " : "off ") + feature_text(feature);
        ToolRun run;
        try {
            run = powershell(mmagent_change_command(feature, on));
        } catch (const PlatformError& e) {
            throw PlatformError(what + ": " + e.what());
        }
        if (run.exit_code == 0 && mmagent_change_done(run.output)) return;
        // A cmdlet's error goes to standard error, plain or as a serialized record.
        std::string message = tool_message(strip_clixml(run.output) + "\n" + powershell_error_text(run.errors));
        if (message.empty()) message = "PowerShell did not carry out the change (exit code " + std::to_string(run.exit_code) + ").";
        throw PlatformError(what + ": " + message);
    }
};

}  // namespace

std::unique_ptr<platform::MemoryAgent> make_memory_agent() { return std::make_unique<PowerShellMemoryAgent>(); }

}  // namespace vexlo::win32
