#include "app/ui/ui_message.h"

#include <climits>
#include <exception>

namespace vexlo::ui {

namespace {

using Json = nlohmann::json;

std::optional<UiMessage> fail(std::string* why, const char* reason) {
    if (why) *why = reason;
    return std::nullopt;
}

}  // namespace

std::optional<UiMessage> parse_ui_message(std::string_view text, std::string* why) {
    try {
        Json msg = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
        if (msg.is_discarded()) return fail(why, "not JSON");
        if (!msg.is_object()) return fail(why, "not a JSON object");
        for (auto& [key, v] : msg.items())
            if (key != "ev" && key != "id" && key != "value") return fail(why, "unknown member");

        auto ev_it = msg.find("ev");
        if (ev_it == msg.end() || !ev_it->is_string()) return fail(why, "ev is not a string");
        UiMessage out;
        out.ev = ev_it->get<std::string>();
        const bool element_event = out.ev == "click" || out.ev == "input" || out.ev == "mouseup" || out.ev == "size";
        if (!element_event && out.ev != "rendered" && out.ev != "key") return fail(why, "unknown event");

        auto id_it = msg.find("id");
        if (element_event) {
            if (id_it == msg.end()) return fail(why, "id is missing");
            // 7.0 or "7" is not an element id: only a JSON integer is.
            if (id_it->is_number_unsigned()) {
                if (id_it->get<unsigned long long>() > static_cast<unsigned long long>(INT_MAX))
                    return fail(why, "id out of range");
                out.id = static_cast<int>(id_it->get<unsigned long long>());
            } else if (id_it->is_number_integer()) {
                long long id = id_it->get<long long>();
                if (id < 1 || id > INT_MAX) return fail(why, "id out of range");
                out.id = static_cast<int>(id);
            } else {
                return fail(why, "id is not an integer");
            }
            if (out.id < 1) return fail(why, "id out of range");
        } else if (id_it != msg.end()) {
            return fail(why, "id on a window event");
        }

        auto value_it = msg.find("value");
        const Json value = value_it == msg.end() ? Json(nullptr) : *value_it;
        if (out.ev == "click") {
            if (!value.is_null() && !value.is_boolean()) return fail(why, "click value is not a boolean");
        } else if (out.ev == "input") {
            if (!value.is_string()) return fail(why, "input value is not a string");
            if (value.get_ref<const std::string&>().size() > kMaxInputChars) return fail(why, "input value too long");
        } else if (out.ev == "key") {
            if (!value.is_string()) return fail(why, "key value is not a string");
            const auto& key = value.get_ref<const std::string&>();
            if (key != "Escape" && key != "Ctrl+F") return fail(why, "unknown key");
        } else if (out.ev == "mouseup") {
            if (!value.is_number_unsigned()) return fail(why, "mouseup value is not a button number");
            if (value.get<unsigned long long>() > 4) return fail(why, "mouseup button out of range");
        } else if (out.ev == "size") {
            if (!value.is_number_unsigned()) return fail(why, "size value is not a whole width");
            auto w = value.get<unsigned long long>();
            if (w < 1 || w > kMaxReportedWidth) return fail(why, "size value out of range");
        } else if (!value.is_null()) {
            return fail(why, "value on an event that takes none");
        }
        out.value = value;
        return out;
    } catch (const std::exception&) {
        // Out of memory while parsing: the message is lost, the window goes on.
        return fail(why, "could not be read");
    }
}

std::optional<std::string> DroppedMessages::dropped(std::string_view why) {
    ++total_;
    if (total_ <= kLoggedInFull) return "Dropped a window message: " + std::string(why) + ".";
    if (++unreported_ >= kSummaryEvery) return flush();
    return std::nullopt;
}

std::optional<std::string> DroppedMessages::flush() {
    if (unreported_ == 0) return std::nullopt;
    std::string line = std::to_string(unreported_) + " more bad window messages dropped.";
    unreported_ = 0;
    return line;
}

}  // namespace vexlo::ui
