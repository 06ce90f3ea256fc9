#pragma once
// A tool's settings file: an INI file with one section, read and written with Windows profile
// semantics (case-blind section and key, literal default, value cut at the reader's buffer size less
// one, no trimming). Saving rewrites the whole file atomically and keeps lines it does not own.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick {

class TextBox;
class CheckBox;
class OptionButton;
class ScrollBar;
class Label;
class ComboBox;
class Window;

// The folder that stands for the Windows directory: $TARNWICK_CONFIG_DIR, else
// $XDG_CONFIG_HOME/tarnwick, else ~/.config/tarnwick.
std::string settingsDirectory();

// Turns a path as typed on Windows ("C:\News1.mp3") into a Linux path: drive X: is the folder
// $TARNWICK_DRIVES/x (default $XDG_DATA_HOME/tarnwick/drives/x), backslashes are separators; a path
// that starts with "/" is kept as it is.
std::string mapWindowsPath(const std::string& path);

// The program's own temporary files beside a file it replaces whole (a settings file, a news file):
// ".NAME.tmp-" and six letters or digits, a form no operator gives a file of theirs. The pattern for
// mkstemp of `path`'s temporary, in `path`'s folder.
std::string temporaryPattern(const std::string& path);
// Whether a folder entry is one of the temporaries of `fileName` (a name without a folder).
bool isTemporaryOf(const std::string& entry, const std::string& fileName);
// Removes what writes killed half way left: `path`'s temporaries in `path`'s own folder, when they
// are regular files of this user that no running writer holds locked.
void removeTemporaries(const std::string& path);

// Reads text like a leading decimal number ("12abc" is 12, " 7" is 7); nullopt when it has none.
std::optional<long long> leadingNumber(const std::string& text);

// The most a count on a box or label holds: a 32-bit number, so a period in minutes times 60, a count
// less one or a time in milliseconds made of it stays far inside 64 bits.
constexpr long long kBoxCountMax = 2147483647;
// A count read from a box or label: its leading number (0 when it has none) clamped to
// -most..most, whatever a settings file or the operator put there; a tool whose counts keep a range
// of their own gives it.
long long boxCount(const std::string& text, long long most = kBoxCountMax);

// How a settings file is stored: files copied from Windows hold ANSI (Windows-1252) text.
enum class SettingsEncoding { Utf8, Windows1252 };

class ToolSettingsFile {
public:
    // fileName without a directory ("tarnwick.ini"); bufferSize as the reading tool's buffer;
    // directory "" means settingsDirectory(). Reads the file at once, so a tool that saves
    // without an explicit load() still keeps the lines it does not own.
    ToolSettingsFile(std::string fileName, int bufferSize = 256, std::string directory = {});

    const std::string& path() const { return path_; }
    int bufferSize() const { return bufferSize_; }

    // Reads the file afresh (a missing file reads as empty). Returns false and sets error() when the
    // file exists but cannot be read (also when it is not a regular file, or larger than 1 MB); it then
    // reads as empty. Text that is not valid UTF-8 is read as Windows-1252.
    bool load();
    // The key's value, or the default when the key (or the file) is missing; cut at buffer size - 1
    // characters.
    std::string read(const std::string& key, const std::string& defaultValue) const;
    // Sets a key in memory (replacing the line of a key spelt in any case, else appending one).
    // Line breaks inside a value are written as blanks, so the file keeps one key per line.
    void write(const std::string& key, const std::string& value);
    // Writes the whole file atomically: the file as it is on disk now, with every write() since the
    // last save applied in order, so hand edits of other lines made meanwhile survive. Creates the
    // folder and the file when missing. Returns false and sets error() when it fails, leaving the
    // old file whole; it never replaces a file it could not read. The file keeps the encoding it is
    // stored in (a new file is UTF-8 with CR LF line ends); when a character could not be written in
    // it, the save succeeds and notice() says so.
    bool save();
    const std::string& error() const { return error_; }
    const std::string& notice() const { return notice_; }
    SettingsEncoding encoding() const { return encoding_; }

    static constexpr const char* kSection = "SETTINGS";

private:
    std::string fileName_, path_;
    int bufferSize_;
    std::vector<std::string> lines_;
    std::vector<std::pair<std::string, std::string>> pending_;  // writes since the last save
    std::string error_, notice_;
    SettingsEncoding encoding_ = SettingsEncoding::Utf8;
};

// One declaration binds each key to its control, so a tool's load and save are one table.
class SettingsTable {
public:
    // A text box: its text as typed.
    SettingsTable& text(const std::string& key, TextBox& box, const std::string& def, const std::string& writeKey = {});
    // A text box read as stored and written in capitals (callsigns).
    SettingsTable& textInCapitals(const std::string& key, TextBox& box, const std::string& def,
                                  const std::string& writeKey = {});
    // A label holding a value (countdowns): its caption.
    SettingsTable& label(const std::string& key, Label& label, const std::string& def, const std::string& writeKey = {});
    // A check box: "0"/"1", read as a number clamped to 0..2.
    SettingsTable& check(const std::string& key, CheckBox& box, const std::string& def, const std::string& writeKey = {});
    // An option button: "True"/"False".
    SettingsTable& option(const std::string& key, OptionButton& button, const std::string& def,
                          const std::string& writeKey = {});
    // A scroll bar: decimal text, read like a leading number and clamped to its range.
    SettingsTable& scroll(const std::string& key, ScrollBar& bar, const std::string& def, const std::string& writeKey = {});
    // A combo box's text.
    SettingsTable& combo(const std::string& key, ComboBox& box, const std::string& def, const std::string& writeKey = {});
    // The window's position: LEFT and TOP in twips, read like a leading decimal number (default "300"),
    // written as the shortest decimal text.
    SettingsTable& windowPosition(Window& window);
    // A number kept outside a control.
    SettingsTable& number(const std::string& key, int& value, const std::string& def, const std::string& writeKey = {});
    // Anything else: how to apply a read text, and how to produce the text to write.
    // An empty writer marks a key that is read but never written.
    SettingsTable& custom(const std::string& key, const std::string& def, std::function<void(const std::string&)> apply,
                          std::function<std::string()> produce, const std::string& writeKey = {});

    // Reads every key in declaration order and applies it.
    void load(const ToolSettingsFile& file) const;
    // Writes every written key in declaration order into the file (in memory; call file.save()).
    void store(ToolSettingsFile& file) const;

    std::size_t keysRead() const { return entries_.size(); }
    std::size_t keysWritten() const;

private:
    struct Entry {
        std::string readKey, writeKey, def;
        std::function<void(const std::string&)> apply;
        std::function<std::string()> produce;
    };
    std::vector<Entry> entries_;
};

}  // namespace tarnwick
