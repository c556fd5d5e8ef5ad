// Bounded UTF-16 string work for the launcher: path joining and the command line handed to the
// core. No allocation and no C runtime, so the launcher can link against kernel32 alone.
#pragma once

#include <stddef.h>

namespace vexlo::launcher {

size_t wide_length(const wchar_t* text);

// Same length and same code units (case-sensitive).
bool wide_equal(const wchar_t* a, const wchar_t* b);

// out = base + suffix + more, NUL-terminated; out must not overlap the parts. False, with out
// left empty, when the result and its terminator would not fit in capacity units.
bool join_path(wchar_t* out, size_t capacity, const wchar_t* base, const wchar_t* suffix, const wchar_t* more = L"");

// What follows the program token of a command line as Windows hands it to a process: a quoted
// token ends at its closing quote (or the end), an unquoted one at the first blank or tab; the
// blanks and tabs after it are skipped too. Anything glued to a closing quote stays.
const wchar_t* command_tail(const wchar_t* command_line);

// out = "<program>" <tail>  (always a blank after the closing quote). False, with out left
// empty, when it would not fit in capacity units.
bool compose_command(wchar_t* out, size_t capacity, const wchar_t* program, const wchar_t* tail);

// True for a file or folder name that Windows' loader may pick up from the folder of a program it
// starts: a DLL, a DLL redirection (<program>.local), a side-by-side manifest or a .NET
// configuration file. ASCII letters compare without regard to case.
bool loader_may_load(const wchar_t* name);

}  // namespace vexlo::launcher
