#pragma once
// Composing command lines the way the C runtime and CommandLineToArgvW split them again.
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::win32 {

// One argument: as it is when it holds no blank or quote and is not empty (unless `always` asks
// for quotes), else in double quotes with the backslashes before a quote, and at the end, doubled.
inline std::wstring quote_argument(std::wstring_view arg, bool always = false) {
    if (!always && !arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) return std::wstring(arg);
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: double them there, and escape the quote.
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');  // the closing quote must stay a quote
    out += L'"';
    return out;
}

// The arguments, each quoted as above, separated by one blank: what follows the program on a
// command line.
inline std::wstring join_arguments(const std::vector<std::wstring>& args) {
    std::wstring out;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) out += L' ';
        out += quote_argument(args[i]);
    }
    return out;
}

}  // namespace vexlo::win32
