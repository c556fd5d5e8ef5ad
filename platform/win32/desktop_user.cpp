// Telling this process's account from the desktop's, by their SIDs: names can repeat across
// domains, and a SID is what owns a profile and HKCU.
#include "platform/win32/desktop_user.h"

#include <windows.h>
#include <sddl.h>
#include <wtsapi32.h>

#include <string>
#include <vector>

#include "platform/win32/wide.h"

namespace vexlo::win32 {
namespace {

// A SID copied into memory of its own.
using Sid = std::vector<BYTE>;

std::optional<Sid> copy_sid(PSID sid) {
    if (!sid || !IsValidSid(sid)) return std::nullopt;
    Sid out(GetLengthSid(sid));
    if (!CopySid(DWORD(out.size()), out.data(), sid)) return std::nullopt;
    return out;
}

std::optional<Sid> own_sid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::nullopt;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buf(size);
    std::optional<Sid> out;
    if (size && GetTokenInformation(token, TokenUser, buf.data(), size, &size))
        out = copy_sid(reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid);
    CloseHandle(token);
    return out;
}

// The owner of the desktop's shell in this process's session, as the session service lists
// processes (it can see the owner of every process, even where this one may not open its
// token). The shell window's process first; else explorer.exe, when all of them in the
// session have one owner.
std::optional<Sid> shell_owner(DWORD session) {
    DWORD shell_pid = 0;
    if (HWND shell = GetShellWindow()) GetWindowThreadProcessId(shell, &shell_pid);
    WTS_PROCESS_INFOW* list = nullptr;
    DWORD count = 0;
    if (!WTSEnumerateProcessesW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &list, &count)) return std::nullopt;
    std::optional<Sid> from_window, from_explorer;
    bool explorers_agree = true;
    for (DWORD i = 0; i < count; ++i) {
        const WTS_PROCESS_INFOW& p = list[i];
        if (p.SessionId != session || !p.pUserSid) continue;
        if (shell_pid && p.ProcessId == shell_pid) from_window = copy_sid(p.pUserSid);
        if (!p.pProcessName || lstrcmpiW(p.pProcessName, L"explorer.exe") != 0) continue;
        auto sid = copy_sid(p.pUserSid);
        if (!sid) continue;
        if (from_explorer && *from_explorer != *sid) explorers_agree = false;
        if (!from_explorer) from_explorer = std::move(sid);
    }
    WTSFreeMemory(list);
    if (from_window) return from_window;
    if (explorers_agree) return from_explorer;
    return std::nullopt;
}

std::wstring session_text(DWORD session, WTS_INFO_CLASS what) {
    LPWSTR text = nullptr;
    DWORD bytes = 0;
    if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, what, &text, &bytes) || !text) return {};
    std::wstring out = text;
    WTSFreeMemory(text);
    return out;
}

// Where no shell runs (another shell, or none yet): the user the session was signed in as.
std::optional<Sid> session_user(DWORD session) {
    std::wstring name = session_text(session, WTSUserName);
    if (name.empty()) return std::nullopt;
    std::wstring domain = session_text(session, WTSDomainName);
    std::wstring account = domain.empty() ? name : domain + L"\\" + name;
    DWORD sid_size = 0, domain_size = 0;
    SID_NAME_USE use;
    LookupAccountNameW(nullptr, account.c_str(), nullptr, &sid_size, nullptr, &domain_size, &use);
    if (!sid_size) return std::nullopt;
    Sid sid(sid_size);
    std::wstring found_domain(domain_size, L'\0');
    if (!LookupAccountNameW(nullptr, account.c_str(), sid.data(), &sid_size, found_domain.data(), &domain_size, &use))
        return std::nullopt;
    return sid;
}

struct Account {
    std::string domain, name;
};

// The account's name as Windows shows it; the SID's text where it has no name any more.
Account account_of(Sid& sid) {
    wchar_t name[256], domain[256];
    DWORD name_size = 256, domain_size = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid.data(), name, &name_size, domain, &domain_size, &use)) return {narrow(domain), narrow(name)};
    LPWSTR text = nullptr;
    Account out;
    if (ConvertSidToStringSidW(sid.data(), &text)) {
        out.name = narrow(text);
        LocalFree(text);
    }
    return out;
}

}  // namespace

DesktopUserCheck check_desktop_user() {
    DesktopUserCheck check;
    // This process's own session, not the console's: under Remote Desktop or fast user switching
    // the console may belong to someone else, while this program's window shows in its own.
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return check;
    auto mine = own_sid();
    if (!mine) return check;
    auto desktop = shell_owner(session);
    if (desktop) {
        check.found_by = "shell";
    } else if ((desktop = session_user(session))) {
        check.found_by = "session";
    } else {
        return check;
    }
    if (EqualSid(mine->data(), desktop->data())) return check;
    Account process = account_of(*mine), person = account_of(*desktop);
    if (process.name.empty() || person.name.empty()) {
        check.found_by = nullptr;  // two accounts that cannot be named cannot be told to the user either
        return check;
    }
    // The same name in two domains: only the domains tell them apart.
    if (lstrcmpiW(widen(process.name).c_str(), widen(person.name).c_str()) == 0) {
        process.name = process.domain + "\\" + process.name;
        person.name = person.domain + "\\" + person.name;
    }
    check.mismatch = platform::AccountMismatch{process.name, person.name};
    return check;
}

}  // namespace vexlo::win32
