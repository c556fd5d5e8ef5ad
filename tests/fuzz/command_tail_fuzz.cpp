// The launcher's command-line work on arbitrary input: finding the arguments behind the program
// token and composing the core's command line in a fixed buffer.
//
//   scripts/fuzz.sh [--long SECONDS]   builds it into build-fuzz/, runs it from tests/fuzz/corpus/command_tail
//
// Input: one byte giving the buffer's capacity, then the command line as 16-bit units.
// Checked: the tail lies inside the line and starts at neither blank nor tab; an unquoted
// program token holds no blank or tab; what is skipped is exactly the program token and the
// blanks after it; a composed line is exactly "program" + blank + tail, or nothing when it
// would not fit; nothing is written past the capacity.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "launcher/launch_strings.h"
#include "tests/fuzz/fuzz_check.h"

using namespace vexlo::launcher;

namespace {

bool blank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t capacity = size_t(data[0]) + 1;
    std::wstring line;
    for (size_t i = 1; i + 1 < size; i += 2) {
        wchar_t unit = wchar_t(data[i] | (data[i + 1] << 8));
        if (unit == 0) break;  // a command line ends at its first NUL
        line.push_back(unit);
    }

    const wchar_t* tail = command_tail(line.c_str());
    const size_t at = size_t(tail - line.c_str());
    CHECK(at <= line.size());
    CHECK(at == line.size() || !blank(line[at]));
    // The skipped part is the program token followed only by blanks.
    size_t token_end = at;
    while (token_end > 0 && blank(line[token_end - 1])) --token_end;
    if (!line.empty() && line[0] == L'"') {
        // An unclosed quote takes the whole line, blanks included.
        const size_t close = line.find(L'"', 1);
        if (close == std::wstring::npos)
            CHECK(at == line.size());
        else
            CHECK(token_end == close + 1);
    } else {
        for (size_t i = 0; i < token_end; ++i) CHECK(!blank(line[i]));
        CHECK(token_end == at || token_end == line.find_first_of(L" \t"));
    }

    const std::wstring program = L"C:\\Users\\Player\\AppData\\Local\\VexloTweaks\\app\\VexloTweaks-core.exe";
    std::vector<wchar_t> out(capacity + 16, L'#');
    const bool fits = compose_command(out.data(), capacity, program.c_str(), tail);
    for (size_t i = capacity; i < out.size(); ++i) CHECK(out[i] == L'#');
    const std::wstring expected = L"\"" + program + L"\" " + std::wstring(tail);
    if (fits) {
        CHECK(expected.size() < capacity);
        CHECK(std::wstring(out.data()) == expected);
    } else {
        CHECK(expected.size() >= capacity);
        CHECK(out[0] == 0);
    }
    return 0;
}
