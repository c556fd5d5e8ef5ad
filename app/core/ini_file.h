#pragma once
// INI-style settings files of games (Fortnite's GameUserSettings.ini): read and write single
// keys while every other line, the line ends aside, stays exactly as it was, in the file's own
// encoding.
//
// Grammar, names compared without regard to case:
//   section header  [name]          blanks allowed around it, nothing else on the line
//   key line        key = value     the key has no '=' or ';'; the value runs to the line end
// Anything else (comments, blank lines, free text) is kept as it is and never matched.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace vexlo {

enum class IniEncoding { Utf16LeBom, Utf8Bom, Utf8 };

struct IniText {
    std::vector<std::string> lines;  // UTF-8, without line ends
    IniEncoding enc = IniEncoding::Utf8;
};

// FF FE starts UTF-16 LE, EF BB BF starts UTF-8 with a mark, anything else is UTF-8 without
// one. Never fails: damaged UTF-16 (odd length, lone surrogates) decodes to U+FFFD, bytes
// that are not UTF-8 in a UTF-8 file are kept as they are. Lines split at LF and CR LF; a
// final line end gives a final empty line.
IniText decode_ini(std::string_view bytes);
// The lines joined with CR LF, in the encoding, with its mark where it has one.
std::string encode_ini(const IniText& text);

// The section name of a header line, the key and value of a key line; nullopt for other lines.
std::optional<std::string_view> ini_section_name(std::string_view line);
struct IniKeyLine {
    std::string_view key;    // without the blanks around it
    std::string_view value;  // everything after the '=', as it is
};
std::optional<IniKeyLine> ini_key_line(std::string_view line);

// The value of `key` in any section named `section`, first in file order, without the blanks
// around it. A key repeated in a section (the game repeats some) reads as its first line.
std::optional<std::string> ini_get(const IniText& text, std::string_view section, std::string_view key);
// Sets `key` in the first section named `section` (its first line there when repeated, the one
// ini_get reads; the other lines stay as they are),
// adds it after the section's last non-blank line, or adds the section at the end. nullopt
// removes the key. Throws std::invalid_argument for a name or value that cannot be written
// as such a line (not UTF-8, line breaks, an empty section, a key with '=' or ';' or outer
// blanks).
void ini_set(IniText& text, std::string_view section, std::string_view key, std::optional<std::string_view> value);

class IniFile {
public:
    IniFile(platform::FileSystem& files, std::string path, std::string original_copy_path);

    bool exists();
    // Throws PlatformError when the file is missing or cannot be read.
    IniText read();
    // nullopt also when the file is missing or cannot be read.
    std::optional<std::string> get(std::string_view section, std::string_view key);
    // See ini_set. The file is written through a temporary file next to it
    // (temporary_path_for), so that it is always either the old or the new content; a read-only file is made writable for the
    // change and read-only again afterwards. Throws PlatformError when the file cannot be read
    // (also when missing) or written; std::invalid_argument as ini_set does.
    void set(std::string_view section, std::string_view key, std::optional<std::string_view> value);
    // Copies the file to the original-copy path the first time there is a file and no copy;
    // never afterwards. The copy appears whole or not at all (through a temporary file).
    // Throws PlatformError when the copy fails. read, set and backup_once refuse a link in
    // place of the file (platform::link_refused).
    void backup_once();
    const std::string& path() const { return path_; }

private:
    platform::FileSystem& files_;
    std::string path_;
    std::string original_copy_path_;
};

// Whether a value read from a file (`current`) already is `wanted`: numbers within 0.001 of
// each other, other text equal without regard to case. False when there is no value.
bool ini_equal(const std::optional<std::string>& current, std::string_view wanted);

}  // namespace vexlo
