// The live mouse settings through SystemParametersInfo; the profile is written only under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/input.h"
#include "platform/win32/parts.h"
#include "platform/win32/wide.h"

namespace {

using namespace vexlo::win32;
using vexlo::platform::kSpiSendChange;
using vexlo::platform::kSpiUpdateIniFile;
using vexlo::platform::MouseParameters;

const wchar_t* const kMouseKey = L"Control Panel\\Mouse";
const wchar_t* const kMouseValues[] = {L"MouseThreshold1", L"MouseThreshold2", L"MouseSpeed"};

std::optional<std::wstring> profile_value(const wchar_t* name) {
    wchar_t buf[64] = {};
    DWORD size = sizeof buf;
    if (RegGetValueW(HKEY_CURRENT_USER, kMouseKey, name, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS) return std::nullopt;
    return std::wstring(buf);
}

void restore_profile_value(const wchar_t* name, const std::optional<std::wstring>& v) {
    if (v)
        RegSetKeyValueW(HKEY_CURRENT_USER, kMouseKey, name, REG_SZ, v->c_str(), DWORD((v->size() + 1) * sizeof(wchar_t)));
    else
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kMouseKey, name);
}

TEST(InputWin, SettingTheSameValuesKeepsThem) {
    auto input = make_input();
    auto before = input->mouse_parameters();
    ASSERT_TRUE(before.has_value());
    ASSERT_TRUE(input->set_mouse_parameters(*before, 0));  // no profile write
    EXPECT_EQ(input->mouse_parameters(), before);
}

TEST(InputWin, SetsOtherValuesLiveAndInTheProfile) {
    if (!running_under_wine()) GTEST_SKIP() << "changes the user's mouse settings: only under Wine";
    auto input = make_input();
    auto before = input->mouse_parameters();
    ASSERT_TRUE(before.has_value());
    std::optional<std::wstring> saved[3];
    for (int i = 0; i < 3; ++i) saved[i] = profile_value(kMouseValues[i]);

    // "Enhance pointer precision" on or off, whichever it is not now.
    const MouseParameters other = *before == MouseParameters{0, 0, 0} ? MouseParameters{6, 10, 1} : MouseParameters{0, 0, 0};
    EXPECT_TRUE(input->set_mouse_parameters(other, kSpiUpdateIniFile | kSpiSendChange));
    int live[3] = {};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETMOUSE, 0, live, 0));
    EXPECT_EQ((MouseParameters{live[0], live[1], live[2]}), other);
    EXPECT_EQ(input->mouse_parameters(), other);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(profile_value(kMouseValues[i]).value_or(L"<none>"), std::to_wstring(other[i])) << narrow(kMouseValues[i]);

    EXPECT_TRUE(input->set_mouse_parameters(*before, kSpiUpdateIniFile | kSpiSendChange));
    EXPECT_EQ(input->mouse_parameters(), before);
    for (int i = 0; i < 3; ++i) restore_profile_value(kMouseValues[i], saved[i]);
}

}  // namespace
