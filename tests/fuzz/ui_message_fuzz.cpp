// Window messages as the renderer's socket delivers them: arbitrary text from whoever holds a
// session, checked before the elevated core acts on it.
//
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//       tests/fuzz/ui_message_fuzz.cpp app/ui/ui_message.cpp -o ui_message_fuzz
//   ./ui_message_fuzz -max_total_time=60 tests/fuzz/corpus/ui_message
//
// Checked: parsing never throws; a refusal always says why; an accepted message has exactly the
// documented shape (a known event, an element id in range exactly when the event needs one, a
// value of the event's type); written back as JSON it is accepted again as the same message;
// and the drop counter never logs more than its first lines plus one per thousand.
#include <climits>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "app/ui/ui_message.h"
#include "tests/fuzz/fuzz_check.h"

using namespace vexlo::ui;

namespace {

bool element_event(const std::string& ev) {
    return ev == "click" || ev == "input" || ev == "mouseup" || ev == "size";
}

void check_shape(const UiMessage& m) {
    CHECK(element_event(m.ev) || m.ev == "rendered" || m.ev == "key");
    if (element_event(m.ev)) {
        CHECK(m.id >= 1 && m.id <= INT_MAX);
    } else {
        CHECK(m.id == 0);
    }
    if (m.ev == "click") CHECK(m.value.is_null() || m.value.is_boolean());
    if (m.ev == "input") CHECK(m.value.is_string() && m.value.get<std::string>().size() <= kMaxInputChars);
    if (m.ev == "key") CHECK(m.value == "Escape" || m.value == "Ctrl+F");
    if (m.ev == "mouseup") CHECK(m.value.is_number_unsigned() && m.value.get<unsigned long long>() <= 4);
    if (m.ev == "size")
        CHECK(m.value.is_number_unsigned() && m.value.get<unsigned long long>() >= 1 &&
              m.value.get<unsigned long long>() <= kMaxReportedWidth);
    if (m.ev == "rendered") CHECK(m.value.is_null());
}

nlohmann::json as_json(const UiMessage& m) {
    nlohmann::json j = {{"ev", m.ev}};
    if (m.id != 0) j["id"] = m.id;
    if (!m.value.is_null()) j["value"] = m.value;
    return j;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<UiMessage> msg;
    std::string why;
    try {
        msg = parse_ui_message(text, &why);
    } catch (...) {
        CHECK(!"parse_ui_message threw");
    }
    if (!msg) {
        CHECK(!why.empty());
        CHECK(why.size() < 64);  // a reason, not an echo of the message

        DroppedMessages drops;
        int lines = 0;
        for (size_t i = 0; i < size % 3000; ++i)
            if (drops.dropped(why)) ++lines;
        if (drops.flush()) ++lines;
        long long n = static_cast<long long>(size % 3000);
        CHECK(lines <= DroppedMessages::kLoggedInFull + 1 + n / DroppedMessages::kSummaryEvery);
        return 0;
    }
    check_shape(*msg);

    std::string again_why;
    auto again = parse_ui_message(as_json(*msg).dump(), &again_why);
    CHECK(again.has_value());
    CHECK(again->ev == msg->ev && again->id == msg->id && again->value == msg->value);
    return 0;
}
