#pragma once
// The PowerShell commands for the memory manager agent (Get-MMAgent, Enable-MMAgent,
// Disable-MMAgent) and the reading of what they print. Plain text work: the Linux tests check it.
#include <optional>
#include <string>
#include <string_view>

#include "platform/memory_agent.h"
#include "platform/win32/powershell_text.h"

namespace vexlo::win32 {

// Printed by the change command once the cmdlet has finished without an error.
inline constexpr std::string_view kMMAgentDone = "vexlo-mmagent-done";

namespace mmagent_detail {

inline const wchar_t* parameter(platform::MemoryFeature f) {
    switch (f) {
        case platform::MemoryFeature::Compression: return L"MemoryCompression";
        case platform::MemoryFeature::PageCombining: return L"PageCombining";
        case platform::MemoryFeature::ApplicationPreLaunch: break;
    }
    return L"ApplicationPreLaunch";
}

inline bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Without surrounding blank space and a UTF-8 byte-order mark.
inline std::string_view trim(std::string_view s) {
    while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
    if (s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
    while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
    return s;
}

inline bool iequal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
    return true;
}

}  // namespace mmagent_detail

// The command that prints the feature's state as True or False.
inline std::wstring mmagent_read_command(platform::MemoryFeature feature) {
    return L"$ErrorActionPreference = 'Stop'; (Get-MMAgent)." + std::wstring(mmagent_detail::parameter(feature));
}

// The command that turns the feature on or off, stopping at the first error, then prints
// kMMAgentDone.
inline std::wstring mmagent_change_command(platform::MemoryFeature feature, bool on) {
    return L"$ErrorActionPreference = 'Stop'; " + std::wstring(on ? L"Enable-MMAgent -" : L"Disable-MMAgent -") +
           mmagent_detail::parameter(feature) + L"; '" + std::wstring(kMMAgentDone.begin(), kMMAgentDone.end()) + L"'";
}

// True or False as PowerShell prints a Boolean; nullopt for anything else (an error, nothing).
// Serialized records around the value do not count as output.
inline std::optional<bool> parse_mmagent_flag(std::string_view output) {
    const std::string plain = strip_clixml(output);
    std::string_view text = mmagent_detail::trim(plain);
    if (mmagent_detail::iequal(text, "True")) return true;
    if (mmagent_detail::iequal(text, "False")) return false;
    return std::nullopt;
}

// Whether the change command's output says it finished: the marker on a line of its own at the
// end, which the command prints only once the cmdlet has finished without an error.
inline bool mmagent_change_done(std::string_view output) {
    const std::string plain = strip_clixml(output);
    std::string_view text = mmagent_detail::trim(plain);
    return text.size() >= kMMAgentDone.size() && text.substr(text.size() - kMMAgentDone.size()) == kMMAgentDone &&
           (text.size() == kMMAgentDone.size() || text[text.size() - kMMAgentDone.size() - 1] == '\n');
}

}  // namespace vexlo::win32
