// The registry part against data that only other programs write: strings without their
// terminator, odd lengths, kinds the seam has no name for; and the exact bytes the part
// writes, as Windows' own readers see them.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/parts.h"
#include "platform/win32/wide.h"

namespace {

using namespace vexlo;
using platform::Hive;
using platform::RegKind;
using platform::RegValue;

class RegistryWin : public ::testing::Test {
protected:
    void SetUp() override {
        subkey_ = "Software\\VexloConformance\\RegistryWin-" + std::to_string(GetCurrentProcessId());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, win32::widen(subkey_).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        if (key_) RegCloseKey(key_);
        RegDeleteTreeW(HKEY_CURRENT_USER, win32::widen(subkey_).c_str());
        RegDeleteKeyExW(HKEY_CURRENT_USER, L"Software\\VexloConformance", KEY_WOW64_64KEY, 0);  // when empty
    }

    void put_raw(const wchar_t* name, DWORD type, const std::vector<uint8_t>& data) {
        ASSERT_EQ(RegSetValueExW(key_, name, 0, type, data.empty() ? nullptr : data.data(), DWORD(data.size())),
                  ERROR_SUCCESS);
    }
    std::vector<uint8_t> raw(const wchar_t* name, DWORD* type = nullptr) {
        DWORD size = 0, t = 0;
        if (RegQueryValueExW(key_, name, nullptr, &t, nullptr, &size) != ERROR_SUCCESS) return {0xEE};
        std::vector<uint8_t> data(size);
        RegQueryValueExW(key_, name, nullptr, &t, data.data(), &size);
        data.resize(size);
        if (type) *type = t;
        return data;
    }
    static std::vector<uint8_t> utf16(std::wstring_view w) {
        std::vector<uint8_t> out(w.size() * 2);
        if (!w.empty()) std::memcpy(out.data(), w.data(), out.size());
        return out;
    }

    std::unique_ptr<platform::Registry> reg_ = win32::make_registry();
    std::string subkey_;
    HKEY key_ = nullptr;
};

TEST_F(RegistryWin, ReadsValuesOtherProgramsWroteCarelessly) {
    using namespace std::string_view_literals;
    std::vector<uint8_t> odd = utf16(L"abc");
    odd.push_back('x');  // half a character at the end
    struct Case {
        const wchar_t* name;
        DWORD type;
        std::vector<uint8_t> data;
        RegValue expected;
    };
    RegValue big_endian;
    big_endian.kind = RegKind(REG_DWORD_BIG_ENDIAN);
    big_endian.bytes = {0, 0, 1, 2};
    RegValue none;
    none.kind = RegKind::None;
    const Case cases[] = {
        {L"SzNoTerminator", REG_SZ, utf16(L"abc"), RegValue::string("abc")},
        {L"SzOddLength", REG_SZ, odd, RegValue::string("abc")},
        {L"SzTwoTerminators", REG_SZ, utf16(L"abc\0\0"sv), RegValue::string("abc")},
        {L"SzEmptyData", REG_SZ, {}, RegValue::string("")},
        {L"ExpandNoTerminator", REG_EXPAND_SZ, utf16(L"%TEMP%\\x"), RegValue::expand_string("%TEMP%\\x")},
        {L"MultiNoFinalNul", REG_MULTI_SZ, utf16(L"a\0b"sv), RegValue::multi_string({"a", "b"})},
        {L"MultiOneNul", REG_MULTI_SZ, utf16(L"a\0b\0"sv), RegValue::multi_string({"a", "b"})},
        {L"MultiEmptyData", REG_MULTI_SZ, {}, RegValue::multi_string({})},
        {L"DWordShort", REG_DWORD, {0x34, 0x12}, RegValue::dword(0x1234)},
        {L"BigEndian", REG_DWORD_BIG_ENDIAN, {0, 0, 1, 2}, big_endian},
        {L"NoneEmpty", REG_NONE, {}, none},
    };
    for (const Case& c : cases) put_raw(c.name, c.type, c.data);
    for (const Case& c : cases) {
        SCOPED_TRACE(win32::narrow(c.name));
        auto got = reg_->get(Hive::CurrentUser, subkey_, win32::narrow(c.name));
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(uint32_t(got->kind), uint32_t(c.expected.kind));
        EXPECT_TRUE(*got == c.expected);
    }
}

// What the part writes is what a Windows program expects to find: strings with their
// terminator, a multi-string's list closed by one more NUL, numbers little-endian.
TEST_F(RegistryWin, WritesTheBytesWindowsExpects) {
    using namespace std::string_view_literals;
    struct Case {
        const char* name;
        RegValue value;
        DWORD type;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"Sz", RegValue::string("h\xC3\xA9"), REG_SZ, utf16(L"h\u00e9\0"sv)},
        {"SzEmpty", RegValue::string(""), REG_SZ, utf16(L"\0"sv)},
        {"Expand", RegValue::expand_string("%TEMP%"), REG_EXPAND_SZ, utf16(L"%TEMP%\0"sv)},
        {"Multi", RegValue::multi_string({"a", "", "c"}), REG_MULTI_SZ, utf16(L"a\0\0c\0\0"sv)},
        {"MultiEmpty", RegValue::multi_string({}), REG_MULTI_SZ, utf16(L"\0"sv)},
        {"DWord", RegValue::dword(0x80000001u), REG_DWORD, {0x01, 0, 0, 0x80}},
        {"QWord", RegValue::qword(0x0102030405060708ull), REG_QWORD, {8, 7, 6, 5, 4, 3, 2, 1}},
        {"BinaryEmpty", RegValue::binary({}), REG_BINARY, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reg_->set(Hive::CurrentUser, subkey_, c.name, c.value);
        DWORD type = 0;
        EXPECT_EQ(raw(win32::widen(c.name).c_str(), &type), c.bytes);
        EXPECT_EQ(type, c.type);
    }
    // A large value comes back whole (the first read's buffer is too small for it).
    std::vector<uint8_t> big(200000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7);
    reg_->set(Hive::CurrentUser, subkey_, "Big", RegValue::binary(big));
    EXPECT_EQ(reg_->get(Hive::CurrentUser, subkey_, "Big")->bytes, big);
}

TEST_F(RegistryWin, ExpandEnvironmentUsesThisProcessEnvironment) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"VEXLO_REGISTRY_TEST", L"C:\\Some Where"));
    EXPECT_EQ(reg_->expand_environment("%vexlo_registry_test%\\x"), "C:\\Some Where\\x");
    SetEnvironmentVariableW(L"VEXLO_REGISTRY_TEST", nullptr);
    EXPECT_EQ(reg_->expand_environment("%VEXLO_REGISTRY_TEST%\\x"), "%VEXLO_REGISTRY_TEST%\\x");
    // Longer than the first guess of the result's size.
    std::string many;
    for (int i = 0; i < 200; ++i) many += "%SystemRoot%;";
    std::string root = reg_->expand_environment("%SystemRoot%");
    std::string expected;
    for (int i = 0; i < 200; ++i) expected += root + ";";
    EXPECT_EQ(reg_->expand_environment(many), expected);
}

}  // namespace
