// INI files with Windows profile semantics: sections and keys without regard
// to case, the file's order, comments and blank lines kept, a missing file or
// key gives the default, the file is made on the first write. Values are
// plain text: never split at commas, never escaped, trimmed of blanks at both
// ends when read.
//
// File names: "\" is read as "/"; a relative name (".\POSITION.INI",
// "kr98.INI") is in the current folder at the time of the call; an empty name
// is "WIN.INI" there. An existing file whose name differs only in case is
// used ("KR98.ini" for "kr98.INI"); a new file takes the spelling given.
//
// Writes replace the file atomically (a temporary file renamed over it), so a
// crash never leaves half a file. Every function is safe to call from several
// threads; files are cached in memory and re-read when they change on disk.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kr {

// The path an INI name stands for, as described above.
std::string ResolveIniPath(std::string_view name);

std::string GetIniValue(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view defaultValue = {});
// False when the file cannot be written, or when the section, key or value
// holds a line break (or the key is empty, starts with ";" or "[", or holds
// "="; or the section holds "]"), which would break the file's structure.
bool PutIniValue(std::string_view file, std::string_view section, std::string_view key, std::string_view value);
// Removes one key, or a whole section with its keys; true when the file is
// as asked afterwards (also when there was nothing to remove).
bool DeleteIniKey(std::string_view file, std::string_view section, std::string_view key);
bool DeleteIniSection(std::string_view file, std::string_view section);
// Drops what memory holds of the file, writes held back by a batch included,
// so that the next read takes the file as it is on disk (after it was deleted).
void ForgetIniFile(std::string_view file);

// A window's saved position and size (keys XPos, YPos, Width, Height, Maximize).
struct WindowPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool maximized = false;
};

// The framework's IniFile: one INI file used again and again.
class IniFile {
public:
    IniFile() = default;
    explicit IniFile(std::string fileName) : name_(std::move(fileName)) {}
    void Init(std::string fileName) { name_ = std::move(fileName); }
    const std::string& fileName() const { return name_; }

    std::string Fetch(std::string_view section, std::string_view key, std::string_view defaultValue = {}) const;
    // nullopt when the key is not in the file.
    std::optional<std::string> TryFetch(std::string_view section, std::string_view key) const;
    bool Update(std::string_view section, std::string_view key, std::string_view value) const;
    bool DeleteKey(std::string_view section, std::string_view key) const;
    bool DeleteSection(std::string_view section) const;
    // The names of the sections, and the keys of one section, in file order.
    std::vector<std::string> Sections() const;
    std::vector<std::string> Keys(std::string_view section) const;

    bool SaveWindow(std::string_view section, const WindowPlacement& placement) const;
    // nullopt when no position was saved under the section.
    std::optional<WindowPlacement> RestoreWindow(std::string_view section) const;

    // While a Batch of a file lives, updates of that file (from any IniFile
    // or PutIniValue) stay in memory; the file is written once when the last
    // Batch ends. For saving many keys at once, such as a list's layout.
    class Batch {
    public:
        explicit Batch(const IniFile& file);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        // Writes now; false when the write failed.
        bool Flush();

    private:
        std::string path_;
    };

private:
    std::string name_;
};

}  // namespace kr
