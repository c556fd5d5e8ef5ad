#pragma once
// A copy of the running program in a folder only administrators can write
// (%ProgramFiles%\Vexlo Tweaks), for what Windows starts elevated without asking: the copy in
// the user's own profile could be replaced by any program the user runs.
#include <optional>
#include <string>

namespace vexlo::platform {

class SelfCopy {
public:
    virtual ~SelfCopy() = default;
    // Where the copy of the program lives (present or not).
    virtual std::string path() = 0;
    // True when the copy exists and is byte for byte the running program.
    virtual bool current() = 0;
    // Copies the running program (and what it needs beside it) there, replacing an older
    // copy, and checks the copy's digest against the running file. Returns the copy's path.
    // Throws PlatformError (the folder is not the protected one, is a link, the copy differs).
    virtual std::string install() = 0;
    // Removes the copy and its folder; a missing copy is not an error. Throws PlatformError.
    virtual void remove() = 0;
};

}  // namespace vexlo::platform
