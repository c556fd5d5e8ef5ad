// The WMI helper against Windows' (or Wine's) WMI service.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/win32/com.h"
#include "platform/win32/wmi.h"

namespace {

using namespace vexlo::win32;
using vexlo::platform::PlatformError;

TEST(WmiWin, QueriesObjectsAndReadsTheirProperties) {
    com::Apartment apartment;
    ASSERT_TRUE(apartment.usable());
    Wmi wmi(L"ROOT\\CIMV2", "test");
    auto rows = wmi.query(L"SELECT Caption, Primary FROM Win32_OperatingSystem", "test");
    ASSERT_EQ(rows.size(), 1u);
    auto caption = wmi_string(rows[0].get(), L"Caption");
    ASSERT_TRUE(caption);
    EXPECT_FALSE(caption->empty());
    EXPECT_EQ(wmi_string(rows[0].get(), L"NoSuchProperty"), std::nullopt);
    EXPECT_EQ(wmi_bool(rows[0].get(), L"NoSuchProperty"), std::nullopt);
}

TEST(WmiWin, MissingNamespaceThrowsSayingWhat) {
    com::Apartment apartment;
    try {
        Wmi wmi(L"ROOT\\VexloNoSuchNamespace", "Reading the test namespace");
        ADD_FAILURE() << "connected to a namespace that does not exist";
    } catch (const PlatformError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Reading the test namespace: ", 0), 0u) << e.what();
    }
}

TEST(WmiWin, StringsOfAVariantFromAStringOrAnArray) {
    com::Variant one;
    one.get()->vt = VT_BSTR;
    one.get()->bstrVal = SysAllocString(L"C:\\Games");
    EXPECT_EQ(variant_strings(*one), std::vector<std::wstring>{L"C:\\Games"});

    com::Variant list;
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, 3);
    const wchar_t* values[] = {L"C:\\A", L"", L"D:\\Epic Games\\Fortnite"};
    for (LONG i = 0; i < 3; ++i) {
        BSTR s = SysAllocString(values[i]);
        SafeArrayPutElement(array, &i, s);
        SysFreeString(s);
    }
    list.get()->vt = VT_ARRAY | VT_BSTR;
    list.get()->parray = array;
    EXPECT_EQ(variant_strings(*list), (std::vector<std::wstring>{L"C:\\A", L"", L"D:\\Epic Games\\Fortnite"}));

    com::Variant null_value;
    null_value.get()->vt = VT_NULL;  // what WMI gives for an empty list
    EXPECT_TRUE(variant_strings(*null_value).empty());
    com::Variant number;
    number.get()->vt = VT_I4;
    number.get()->lVal = 5;
    EXPECT_TRUE(variant_strings(*number).empty());
}

}  // namespace
