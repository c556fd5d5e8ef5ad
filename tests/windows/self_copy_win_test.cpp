// The protected copy of the core for the start-with-Windows task, made in a folder of the test
// (the product's is %ProgramFiles%\Vexlo Tweaks): copied byte for byte and checked, replaced
// when it differs, removed with its folder, and refused in a folder others may change.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/win32/parts.h"
#include "platform/win32/protected_copy.h"
#include "platform/win32/wide.h"
#include "tests/windows/child_process.h"

namespace {

using namespace vexlo;
using platform::PlatformError;

std::optional<std::string> read_file(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    CloseHandle(h);
    return out;
}

std::vector<std::wstring> entries(const std::wstring& folder) {
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return out;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") out.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return out;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Wine keeps no owners: every file, C:\Windows included, reads as owned by the user. There the
// copy is made without the owner check, and the owner's own case skips.
bool owners_kept() {
    wchar_t windows[MAX_PATH];
    UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    return n > 0 && n < MAX_PATH && win32::owned_by_administrators(std::wstring(windows, n));
}

class SelfCopyWin : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        ASSERT_GT(n, 0u);
        base_ = std::wstring(temp, n) + L"VexloSelfCopy-" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(base_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        folder_ = base_ + L"\\Vexlo Tweaks";
        file_ = folder_ + L"\\VexloTweaks-core.exe";
        check_owner_ = owners_kept();
        // The test's folder is in the user's own temporary folder, which the user may change: the
        // access check has its own case below.
        copy_ = win32::make_self_copy_in(folder_, check_owner_, /*check_access=*/false);
    }
    void TearDown() override {
        copy_.reset();
        for (const std::wstring& name : entries(folder_)) DeleteFileW((folder_ + L"\\" + name).c_str());
        RemoveDirectoryW(folder_.c_str());
        RemoveDirectoryW(base_.c_str());
    }

    std::wstring base_, folder_, file_;
    bool check_owner_ = true;
    std::unique_ptr<platform::SelfCopy> copy_;
};

TEST_F(SelfCopyWin, InstalledCopyIsTheRunningProgramAndIsRemovedWithItsFolder) {
    EXPECT_EQ(copy_->path(), win32::narrow(file_));
    EXPECT_FALSE(copy_->current());

    EXPECT_EQ(copy_->install(), win32::narrow(file_));
    auto copied = read_file(file_);
    auto running = read_file(testkit::self_path());
    ASSERT_TRUE(copied && running);
    EXPECT_TRUE(*copied == *running) << "the copy differs from the running program";
    EXPECT_EQ(entries(folder_), std::vector<std::wstring>{L"VexloTweaks-core.exe"}) << "no temporary file may stay";
    if (check_owner_) EXPECT_TRUE(win32::owned_by_administrators(folder_)) << "the folder made must be owned by the administrators";
    EXPECT_TRUE(copy_->current());

    copy_->remove();
    EXPECT_FALSE(exists(file_));
    EXPECT_FALSE(exists(folder_));
    EXPECT_FALSE(copy_->current());
    EXPECT_NO_THROW(copy_->remove()) << "a missing copy is not an error";
}

TEST_F(SelfCopyWin, AChangedCopyIsNotCurrentAndIsReplaced) {
    copy_->install();
    HANDLE h = CreateFileW(file_.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, "x", 1, &written, nullptr);
    CloseHandle(h);
    EXPECT_FALSE(copy_->current());
    // A fresh object, as at the next start: nothing remembered from the install.
    EXPECT_FALSE(win32::make_self_copy_in(folder_, check_owner_, false)->current());

    copy_->install();
    EXPECT_TRUE(copy_->current());
    EXPECT_TRUE(*read_file(file_) == *read_file(testkit::self_path()));
}

TEST_F(SelfCopyWin, RemoveLeavesWhatElseIsInTheFolderAndClearsLeftovers) {
    copy_->install();
    const std::wstring leftover = folder_ + L"\\VexloTweaks-core.exe.1234-5678.tmp";
    const std::wstring other = folder_ + L"\\notes.txt";
    for (const std::wstring& path : {leftover, other}) {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        CloseHandle(h);
    }
    copy_->remove();
    EXPECT_EQ(entries(folder_), std::vector<std::wstring>{L"notes.txt"});
}

// The folder made beforehand by a standard user's program would be owned by that user, who
// could then change its access list and swap the copy.
TEST_F(SelfCopyWin, AFolderOwnedByTheUserIsRefused) {
    if (!check_owner_) GTEST_SKIP() << "this system keeps no owners (Wine reports every file, C:\\Windows too, as the user's)";
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    std::vector<BYTE> buf(512);
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, buf.data(), DWORD(buf.size()), &size));
    CloseHandle(token);
    PSID user = reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid;
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorOwner(&sd, user, FALSE);
    SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), &sa)) << GetLastError();
    if (win32::owned_by_administrators(folder_))
        GTEST_SKIP() << "the folder made with the user as owner reads as owned by the administrators"
                     << (win32::running_under_wine() ? " (Wine keeps no owner on this file system)" : "");
    EXPECT_THROW(copy_->install(), PlatformError);
    EXPECT_TRUE(entries(folder_).empty()) << "nothing may be written there";
    EXPECT_FALSE(copy_->current());
}

TEST_F(SelfCopyWin, ALinkInPlaceOfTheFolderIsRefused) {
    const std::wstring elsewhere = base_ + L"\\elsewhere";
    ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
    bool made = CreateSymbolicLinkW(folder_.c_str(), elsewhere.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2);
    DWORD attr = GetFileAttributesW(folder_.c_str());
    if (!made || attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveDirectoryW(folder_.c_str());
        RemoveDirectoryW(elsewhere.c_str());
        GTEST_SKIP() << "no directory link could be made here"
                     << (win32::running_under_wine() ? " (Wine 8 makes no reparse points)" : " (needs developer mode or the privilege)");
    }
    EXPECT_THROW(copy_->install(), PlatformError);
    EXPECT_THROW(copy_->remove(), PlatformError);
    EXPECT_FALSE(copy_->current());
    EXPECT_TRUE(entries(elsewhere).empty()) << "nothing may be written through the link";
    RemoveDirectoryW(folder_.c_str());
    RemoveDirectoryW(elsewhere.c_str());
}

// The child: started from the installed copy, as the task starts it.
TEST(SelfCopyChildWin, InstallFromTheCopyItselfKeepsIt) {
    std::string folder = testkit::env_value(L"VEXLO_TEST_SELF_COPY");
    if (folder.empty()) GTEST_SKIP() << "only run as the self-copy test's child";
    auto copy = win32::make_self_copy_in(win32::widen(folder), owners_kept(), false);
    ASSERT_TRUE(copy->current());
    EXPECT_EQ(copy->install(), copy->path());
    EXPECT_TRUE(copy->current());
}

TEST_F(SelfCopyWin, TheCopyRunningFromThereInstallsAsItIs) {
    copy_->install();
    testkit::ScopedEnv env({{L"VEXLO_TEST_SELF_COPY", folder_}});
    EXPECT_EQ(testkit::run_program(file_, L"--gtest_filter=SelfCopyChildWin.InstallFromTheCopyItselfKeepsIt"), 0);
    EXPECT_TRUE(copy_->current());
    EXPECT_EQ(entries(folder_), std::vector<std::wstring>{L"VexloTweaks-core.exe"});
}

}  // namespace

// Who may change the folder decides, not only who owns it: a program without administrator
// rights that may add, replace or delete files there, or rewrite the access list, could swap
// the copy the task starts elevated.
TEST(SelfCopyAccessWin, OnlyAdministratorsMayChangeTheFolder) {
    const std::wstring installer = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    struct Case {
        const wchar_t* why;
        std::wstring sddl;
        bool open;
    } cases[] = {
        {L"as Program Files ships", L"D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)(A;OICI;FA;;;" + installer + L")", false},
        {L"users may modify", L"D:(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)", true},
        {L"signed-in users may add files", L"D:(A;OICI;FA;;;BA)(A;;0x2;;;AU)", true},
        {L"files made there inherit write for users", L"D:(A;OICI;FA;;;BA)(A;OICIIO;GW;;;BU)", true},
        {L"everyone may rewrite the access list", L"D:(A;;FA;;;BA)(A;;WD;;;WD)", true},
        {L"a user may delete what is in it", L"D:(A;;FA;;;BA)(A;;0x40;;;BU)", true},
        {L"users may only read", L"D:(A;;FA;;;BA)(A;;FR;;;BU)(A;;FR;;;WD)", false},
        {L"no access list at all (everyone may do everything)", L"O:BA", true},
    };
    for (const Case& c : cases) {
        auto open = win32::lets_others_change(c.sddl);
        ASSERT_TRUE(open.has_value()) << win32::narrow(c.why);
        EXPECT_EQ(*open, c.open) << win32::narrow(c.why);
    }
}
