#include "settings/settings_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "controls/controls.h"
#include "runtime/utf8.h"

namespace tarnwick {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string homeDirectory() {
    std::string home = env("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

std::string joinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lower(x) == lower(y);
           });
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string trimBlanks(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::string withoutCr(const std::string& line) {
    if (!line.empty() && line.back() == '\r') return line.substr(0, line.size() - 1);
    return line;
}

bool endsWithCr(const std::string& line) { return !line.empty() && line.back() == '\r'; }

// A section header: "[NAME]" (blanks allowed around it and the name).
std::optional<std::string> sectionOf(const std::string& line) {
    std::string t = trimBlanks(withoutCr(line));
    if (t.empty() || t.front() != '[') return std::nullopt;
    std::size_t close = t.find(']');
    return trimBlanks(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

// The key of a "KEY=value" line; nullopt for headers, comments and lines without '='.
std::optional<std::string> keyOf(const std::string& line) {
    std::string t = withoutCr(line);
    std::size_t eq = t.find('=');
    if (eq == std::string::npos) return std::nullopt;
    std::string key = trimBlanks(t.substr(0, eq));
    if (!key.empty() && (key.front() == ';' || key.front() == '[')) return std::nullopt;
    return key;
}

bool inSettings(const std::string& section) { return sameName(section, ToolSettingsFile::kSection); }

// Index of the first line of key in a SETTINGS section, or npos.
std::size_t findKey(const std::vector<std::string>& lines, const std::string& key) {
    bool settings = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (auto s = sectionOf(lines[i])) {
            settings = inSettings(*s);
            continue;
        }
        if (!settings) continue;
        if (auto k = keyOf(lines[i]); k && sameName(*k, key)) return i;
    }
    return std::string::npos;
}

// Keeps one key per line: a line break inside a value would start a new line in the file.
std::string oneLine(std::string s) {
    std::replace_if(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return s;
}

void applyWrite(std::vector<std::string>& lines, const std::string& key, const std::string& value) {
    std::string line = oneLine(key) + "=" + oneLine(value);
    if (std::size_t at = findKey(lines, key); at != std::string::npos) {
        if (endsWithCr(lines[at])) line += '\r';
        lines[at] = line;
        return;
    }
    // Append after the last non-blank line of the first SETTINGS section.
    std::size_t header = std::string::npos;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (auto s = sectionOf(lines[i]); s && inSettings(*s)) {
            header = i;
            break;
        }
    }
    if (header == std::string::npos) {
        std::string head = std::string("[") + ToolSettingsFile::kSection + "]";
        // A file the program creates gets the CR LF line ends of the Windows files it also reads.
        if (lines.empty() || endsWithCr(lines.back())) {
            head += '\r';
            line += '\r';
        }
        lines.push_back(head);
        lines.push_back(line);
        return;
    }
    std::size_t end = header + 1;
    while (end < lines.size() && !sectionOf(lines[end])) ++end;
    while (end > header + 1 && trimBlanks(withoutCr(lines[end - 1])).empty()) --end;
    if (endsWithCr(lines[end - 1])) line += '\r';
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(end), line);
}

std::string systemError(const std::string& what, const std::string& path, int err) {
    return what + " " + path + ": " + std::strerror(err);
}

// Windows-1252 bytes 0x80 to 0x9F; the rest of the upper half is Latin-1. The five bytes Windows leaves
// undefined map to the control characters of the same number, so they survive a round trip.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Length of the UTF-8 sequence that starts at text[i], 0 when it is not a valid one.
std::size_t utf8Length(const std::string& text, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char c = byte(i);
    if (c < 0x80) return 1;
    std::size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    unsigned char c1 = byte(i + 1);
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F) || (c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 > 0x8F))
        return 0;  // overlong forms, surrogates, beyond U+10FFFF
    return n;
}

bool validUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = utf8Length(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string fromCp1252(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char ch : bytes) {
        unsigned char c = static_cast<unsigned char>(ch);
        appendUtf8(out, c < 0x80 ? c : c < 0xA0 ? kCp1252High[c - 0x80] : static_cast<char32_t>(c));
    }
    return out;
}

// UTF-8 text as Windows-1252; a character that encoding cannot hold becomes "?" and sets lossy.
std::string toCp1252(const std::string& text, bool& lossy) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = utf8Length(text, i);
        if (n == 0) {  // cannot happen for text this file produced; keep the byte rather than lose it
            out += text[i++];
            continue;
        }
        char32_t cp = static_cast<unsigned char>(text[i]);
        if (n > 1) {
            cp &= 0x7Fu >> n;
            for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        i += n;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        const char32_t* hit = std::find(std::begin(kCp1252High), std::end(kCp1252High), cp);
        if (hit != std::end(kCp1252High)) {
            out += static_cast<char>(0x80 + (hit - std::begin(kCp1252High)));
        } else {
            out += '?';
            lossy = true;
        }
    }
    return out;
}

// The first `count` characters of UTF-8 text, never splitting a character.
std::string firstCharacters(const std::string& text, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t chars = 0; i < text.size() && chars < count; ++chars) {
        std::size_t n = utf8Length(text, i);
        i += n == 0 ? 1 : n;
    }
    return text.substr(0, i);
}

constexpr off_t kMaxSettingsBytes = 1 << 20;

// Reads a file into lines of UTF-8 text and tells the encoding it was stored in. A missing file is
// empty. Only a regular file of at most 1 MB is read: a pipe would block start-up and a link to a
// device could read without end. Returns "" or what went wrong.
std::string readLines(const std::string& path, std::vector<std::string>& lines, SettingsEncoding& encoding) {
    lines.clear();
    encoding = SettingsEncoding::Utf8;
    // Non-blocking, so opening a pipe with no writer cannot hang.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? std::string() : std::strerror(errno);
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        return std::strerror(err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
    }
    std::string text;
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            return std::strerror(err);
        }
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > static_cast<std::size_t>(kMaxSettingsBytes)) break;
    }
    ::close(fd);
    if (text.size() > static_cast<std::size_t>(kMaxSettingsBytes)) return "larger than 1 MB";
    if (!validUtf8(text)) {
        // Files copied from Windows hold ANSI text.
        text = fromCp1252(text);
        encoding = SettingsEncoding::Windows1252;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return {};
}

// mkdir -p; folders it makes are private to the user.
int makeDirectories(const std::string& dir) {
    if (dir.empty()) return 0;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        std::string part = dir.substr(0, pos);
        if (part.empty() || part == "/") continue;
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    }
    struct stat st{};
    if (::stat(dir.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

long long clampToInt(long long v, long long lo = INT_MIN, long long hi = INT_MAX) { return std::clamp(v, lo, hi); }

// A stored number for a control: the value's leading number, else the default's, else 0.
long long numberOr(const std::string& value, const std::string& def) {
    if (auto n = leadingNumber(value)) return *n;
    if (auto n = leadingNumber(def)) return *n;
    return 0;
}

// "True" in any case, or a number other than 0 (as a Boolean conversion of the text would take it).
bool truth(const std::string& value) {
    if (sameName(trimBlanks(value), "True")) return true;
    std::string t = trimBlanks(value);
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    bool digits = false, nonZero = false, point = false;
    for (; i < t.size(); ++i) {
        char c = t[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            nonZero = nonZero || c != '0';
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits && nonZero;
}

}  // namespace

std::string temporaryPattern(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return dir + "." + name + ".tmp-XXXXXX";
}

bool isTemporaryOf(const std::string& entry, const std::string& fileName) {
    const std::string head = "." + fileName + ".tmp-";
    if (entry.size() != head.size() + 6 || entry.compare(0, head.size(), head) != 0) return false;
    return std::all_of(entry.begin() + static_cast<std::ptrdiff_t>(head.size()), entry.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
}

void removeTemporaries(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        if (!isTemporaryOf(e->d_name, name)) continue;
        const std::string full = joinPath(dir, e->d_name);
        const int fd = ::open(full.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st{};
        // A regular file of this user that nobody is writing (a writer holds its lock).
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid() && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(full.c_str());
        ::close(fd);
    }
    ::closedir(d);
}

std::string settingsDirectory() {
    if (std::string d = env("TARNWICK_CONFIG_DIR"); !d.empty()) return d;
    if (std::string x = env("XDG_CONFIG_HOME"); !x.empty() && x.front() == '/') return joinPath(x, "tarnwick");
    return joinPath(homeDirectory(), ".config/tarnwick");
}

std::string mapWindowsPath(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    bool drive = p.size() >= 2 && p[1] == ':' && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
    if (!drive) return p;
    std::string drives = env("TARNWICK_DRIVES");
    if (drives.empty()) {
        std::string data = env("XDG_DATA_HOME");
        if (data.empty() || data.front() != '/') data = joinPath(homeDirectory(), ".local/share");
        drives = joinPath(data, "tarnwick/drives");
    }
    std::string root = joinPath(drives, std::string(1, lower(p[0])));
    std::string rest = p.substr(2);
    std::size_t skip = rest.find_first_not_of('/');
    rest = skip == std::string::npos ? std::string() : rest.substr(skip);
    return rest.empty() ? root : joinPath(root, rest);
}

std::optional<long long> leadingNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
    constexpr long long kMax = std::numeric_limits<long long>::max();
    constexpr long long kMin = std::numeric_limits<long long>::min();
    long long v = 0;  // built on the negative side, which holds one more value
    bool overflow = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        int d = text[i] - '0';
        if (overflow) continue;
        if (v < (kMin + d) / 10) {
            overflow = true;
            continue;
        }
        v = v * 10 - d;
    }
    if (overflow) return negative ? kMin : kMax;
    if (negative) return v;
    return v == kMin ? kMax : -v;
}

long long boxCount(const std::string& text, long long most) {
    return std::clamp(leadingNumber(text).value_or(0), -most, most);
}

// ---- ToolSettingsFile ----

ToolSettingsFile::ToolSettingsFile(std::string fileName, int bufferSize, std::string directory)
    : fileName_(std::move(fileName)), bufferSize_(bufferSize) {
    path_ = joinPath(directory.empty() ? settingsDirectory() : directory, fileName_);
    // What a save killed half way left in the settings folder. Only there: a folder a linked file
    // lies in belongs to the operator, whatever is in it.
    removeTemporaries(path_);
    load();
}

bool ToolSettingsFile::load() {
    pending_.clear();
    if (std::string err = readLines(path_, lines_, encoding_); !err.empty()) {
        lines_.clear();
        encoding_ = SettingsEncoding::Utf8;
        error_ = "cannot read " + path_ + ": " + err;
        return false;
    }
    error_.clear();
    return true;
}

std::string ToolSettingsFile::read(const std::string& key, const std::string& defaultValue) const {
    std::string value = defaultValue;
    if (std::size_t at = findKey(lines_, key); at != std::string::npos) {
        std::string line = withoutCr(lines_[at]);
        value = line.substr(line.find('=') + 1);
    }
    std::size_t room = bufferSize_ > 0 ? static_cast<std::size_t>(bufferSize_ - 1) : 0;
    return firstCharacters(value, room);
}

void ToolSettingsFile::write(const std::string& key, const std::string& value) {
    if (trimBlanks(key).empty()) return;
    applyWrite(lines_, key, value);
    pending_.emplace_back(key, value);
}

bool ToolSettingsFile::save() {
    // Start from the file as it is now, so lines edited by hand since the load are kept.
    std::vector<std::string> lines;
    SettingsEncoding encoding = SettingsEncoding::Utf8;
    if (std::string err = readLines(path_, lines, encoding); !err.empty()) {
        error_ = "cannot save (the file cannot be read, so it is left as it is) " + path_ + ": " + err;
        return false;
    }
    for (const auto& [key, value] : pending_) applyWrite(lines, key, value);
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    // Written back in the encoding it was read in, so a Windows program reading it sees its own text.
    bool lossy = false;
    if (encoding == SettingsEncoding::Windows1252) text = toCp1252(text, lossy);

    // Write through a link to the file it names, so a linked settings file stays linked.
    std::string target = path_;
    if (char* real = ::realpath(path_.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    std::size_t slash = target.find_last_of('/');
    std::string dir = slash == std::string::npos ? std::string() : slash == 0 ? "/" : target.substr(0, slash);
    if (int err = makeDirectories(dir)) {
        error_ = systemError("cannot create the settings folder", dir, err);
        return false;
    }

    std::string temp = temporaryPattern(target);
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error_ = systemError("cannot save", path_, errno);
        return false;
    }
    temp = name.data();
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        error_ = systemError("cannot save", path_, err);
        return false;
    };
    struct stat old{};
    if (::stat(target.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
    if (int err = writeAll(fd, text)) return fail(err);
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        error_ = systemError("cannot save", path_, err);
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        error_ = systemError("cannot save", path_, err);
        return false;
    }
    // Make the rename itself durable; the file is already whole either way.
    if (int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    lines_ = std::move(lines);
    encoding_ = encoding;
    pending_.clear();
    error_.clear();
    notice_ = lossy ? "characters that Windows-1252 cannot hold were written as \"?\" in " + path_ : std::string();
    return true;
}

// ---- SettingsTable ----

namespace {
const std::string& orKey(const std::string& writeKey, const std::string& key) {
    return writeKey.empty() ? key : writeKey;
}
}  // namespace

SettingsTable& SettingsTable::text(const std::string& key, TextBox& box, const std::string& def,
                                   const std::string& writeKey) {
    return custom(key, def, [&box](const std::string& v) { box.setText(v); }, [&box] { return box.text(); }, writeKey);
}

SettingsTable& SettingsTable::textInCapitals(const std::string& key, TextBox& box, const std::string& def,
                                             const std::string& writeKey) {
    return custom(key, def, [&box](const std::string& v) { box.setText(v); }, [&box] { return upperCase(box.text()); },
                  writeKey);
}

namespace {
double leadingDecimal(const std::string& text, double fallback) {
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos) return fallback;
    double v = fallback;
    auto res = std::from_chars(text.data() + i, text.data() + text.size(), v);
    return res.ec == std::errc() && std::isfinite(v) ? v : fallback;
}

std::string decimalText(double v) {
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}
}  // namespace

SettingsTable& SettingsTable::windowPosition(Window& window) {
    custom("LEFT", "300", [&window](const std::string& v) { window.setPosition(leadingDecimal(v, 300), window.top()); },
           [&window] { return decimalText(window.left()); });
    return custom("TOP", "300",
                  [&window](const std::string& v) { window.setPosition(window.left(), leadingDecimal(v, 300)); },
                  [&window] { return decimalText(window.top()); });
}

SettingsTable& SettingsTable::label(const std::string& key, Label& label, const std::string& def,
                                    const std::string& writeKey) {
    return custom(key, def, [&label](const std::string& v) { label.setText(v); }, [&label] { return label.text(); },
                  writeKey);
}

SettingsTable& SettingsTable::check(const std::string& key, CheckBox& box, const std::string& def,
                                    const std::string& writeKey) {
    return custom(
        key, def,
        [&box, def](const std::string& v) { box.setValue(static_cast<int>(std::clamp(numberOr(v, def), 0LL, 2LL))); },
        [&box] { return std::to_string(box.value()); }, writeKey);
}

SettingsTable& SettingsTable::option(const std::string& key, OptionButton& button, const std::string& def,
                                     const std::string& writeKey) {
    return custom(key, def, [&button](const std::string& v) { button.setValue(truth(v)); },
                  [&button] { return std::string(button.value() ? "True" : "False"); }, writeKey);
}

SettingsTable& SettingsTable::scroll(const std::string& key, ScrollBar& bar, const std::string& def,
                                     const std::string& writeKey) {
    return custom(
        key, def,
        [&bar, def](const std::string& v) {
            long long lo = std::min(bar.min(), bar.max()), hi = std::max(bar.min(), bar.max());
            bar.setValue(static_cast<int>(std::clamp(numberOr(v, def), lo, hi)));
        },
        [&bar] { return std::to_string(bar.value()); }, writeKey);
}

SettingsTable& SettingsTable::combo(const std::string& key, ComboBox& box, const std::string& def,
                                    const std::string& writeKey) {
    return custom(key, def, [&box](const std::string& v) { box.setText(v); }, [&box] { return box.text(); }, writeKey);
}

SettingsTable& SettingsTable::number(const std::string& key, int& value, const std::string& def,
                                     const std::string& writeKey) {
    return custom(
        key, def, [&value, def](const std::string& v) { value = static_cast<int>(clampToInt(numberOr(v, def))); },
        [&value] { return std::to_string(value); }, writeKey);
}

SettingsTable& SettingsTable::custom(const std::string& key, const std::string& def,
                                     std::function<void(const std::string&)> apply,
                                     std::function<std::string()> produce, const std::string& writeKey) {
    entries_.push_back(Entry{key, orKey(writeKey, key), def, std::move(apply), std::move(produce)});
    return *this;
}

void SettingsTable::load(const ToolSettingsFile& file) const {
    for (const Entry& e : entries_) {
        std::string v = file.read(e.readKey, e.def);
        if (e.apply) e.apply(v);
    }
}

void SettingsTable::store(ToolSettingsFile& file) const {
    for (const Entry& e : entries_) {
        if (e.produce) file.write(e.writeKey, e.produce());
    }
}

std::size_t SettingsTable::keysWritten() const {
    return static_cast<std::size_t>(
        std::count_if(entries_.begin(), entries_.end(), [](const Entry& e) { return static_cast<bool>(e.produce); }));
}

}  // namespace tarnwick
