// Settings of the current boot entry. Windows has no supported API for the boot configuration
// store, so this runs bcdedit, as an administrator would.
#include <algorithm>
#include <cctype>
#include <vector>
#include <chrono>

#include "platform/win32/boot_text.h"
#include "platform/win32/parts.h"
#include "platform/win32/tool_process.h"
#include "platform/win32/wide.h"

namespace vexlo::win32 {

namespace {

using platform::PlatformError;

constexpr std::chrono::seconds kBcdeditLimit{30};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && (is_blank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (is_blank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// A name bcdedit takes as one argument: letters, digits and the few marks element names use
// ("custom:26000010", "nx").
bool plain_name(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != ':' && c != '_' && c != '.' && c != '-') return false;
    return true;
}

class BcdeditBoot final : public platform::BootConfig {
public:
    std::map<std::string, std::string> current_entry() override {
        try {
            ToolRun run = run_tool(system_tool(L"bcdedit.exe"), {L"/enum", L"{current}"}, kBcdeditLimit);
            if (run.exit_code != 0) return {};
            return parse_bcdedit_entry(run.output);
        } catch (const PlatformError&) {
            return {};
        }
    }

    void set_value(std::string_view name, std::string_view value) override {
        std::string element = lower(name);
        if (!plain_name(element) || trim(value).empty() || value.find('"') != std::string_view::npos)
            throw PlatformError("The boot setting \"" + std::string(name) + "\" cannot be set: The parameter is incorrect.");
        if (element == "identifier")
            throw PlatformError("The identifier of the boot entry cannot be changed: The parameter is incorrect.");
        run("Cannot set the boot setting " + element, {L"/set", L"{current}", widen(element), widen(trim(value))});
    }

    void delete_value(std::string_view name) override {
        std::string element = lower(name);
        if (!plain_name(element))
            throw PlatformError("The boot setting \"" + std::string(name) + "\" cannot be deleted: The parameter is incorrect.");
        if (element == "identifier")
            throw PlatformError("The identifier of the boot entry cannot be deleted: The parameter is incorrect.");
        run("Cannot delete the boot setting " + element, {L"/deletevalue", L"{current}", widen(element)});
    }

private:
    static void run(const std::string& what, const std::vector<std::wstring>& args) {
        ToolRun r;
        try {
            r = run_tool(system_tool(L"bcdedit.exe"), args, kBcdeditLimit);
        } catch (const PlatformError& e) {
            throw PlatformError(what + ": " + e.what());
        }
        if (r.exit_code != 0) {
            std::string message = tool_message(r);
            throw PlatformError(what + ": " + (message.empty() ? "bcdedit failed with code " + std::to_string(r.exit_code)
                                                               : message));
        }
    }
};

}  // namespace

std::unique_ptr<platform::BootConfig> make_boot_config() { return std::make_unique<BcdeditBoot>(); }

}  // namespace vexlo::win32
