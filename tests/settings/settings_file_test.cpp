#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "controls/controls.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

// Sets (or unsets, with nullptr) environment variables for one test and restores them after.
class ScopedEnv {
public:
    ScopedEnv(std::initializer_list<std::pair<const char*, const char*>> vars) {
        for (auto [name, value] : vars) {
            const char* old = std::getenv(name);
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            if (value) ::setenv(name, value, 1);
            else ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        for (auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tw-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name = "tool.ini") const { return dir_ + "/" + name; }
    void put(const std::string& text, const std::string& name = "tool.ini") const {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    std::string get(const std::string& name = "tool.ini") const {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
        return names;
    }

    std::string dir_;
};

TEST_F(SettingsFileTest, ReadsWithProfileSemantics) {
    put("; kept comment\n"
        "ONLYOUTSIDE=x\n"
        "[Other]\n"
        "CHECK1=other section\n"
        "[settings]\n"
        "check1=1\n"
        "Check1=second line loses\n"
        "  Text9  = keep blanks \n"
        "EMPTY=\n"
        "CRLF=win\r\n"
        "A=b=c\n"
        "no equals sign\n");
    ToolSettingsFile f("tool.ini", 256, dir_);
    EXPECT_EQ(f.path(), path());
    struct Case {
        const char* key;
        const char* def;
        const char* want;
    } cases[] = {
        {"Check1", "0", "1"},  // case-blind, first line wins, other sections ignored
        {"CHECK1", "0", "1"},
        {"text9", "", " keep blanks "},  // blanks round the key ignored, value untouched
        {"EMPTY", "dflt", ""},           // present but empty is not missing
        {"CRLF", "", "win"},
        {"A", "", "b=c"},
        {"ONLYOUTSIDE", "def", "def"},
        {"MISSING", "lit default", "lit default"},
        {"no equals sign", "d", "d"},
    };
    for (const Case& c : cases) EXPECT_EQ(f.read(c.key, c.def), c.want) << c.key;
}

TEST_F(SettingsFileTest, ValuesAndDefaultsAreCutAtBufferLessOne) {
    struct Case {
        int buffer;
        std::size_t stored, want;
    } cases[] = {{256, 300, 255}, {256, 255, 255}, {1000, 1200, 999}, {1000, 999, 999}, {250, 250, 249}, {1, 5, 0}};
    for (const Case& c : cases) {
        std::string value(c.stored, 'v');
        value[0] = 'S';
        put("[SETTINGS]\nLONG=" + value + "\n");
        ToolSettingsFile f("tool.ini", c.buffer, dir_);
        EXPECT_EQ(f.read("LONG", ""), value.substr(0, c.want)) << c.buffer << "/" << c.stored;
        EXPECT_EQ(f.read("MISSING", value), value.substr(0, c.want)) << "default " << c.buffer;
    }
}

TEST_F(SettingsFileTest, WriteKeepsForeignLinesAndReplacesFirstLineOfKey) {
    put("; comment\n"
        "[SETTINGS]\r\n"
        "check1=0\r\n"
        "UNKNOWN=stays\n"
        "CHECK1=duplicate stays\n"
        "\n"
        "[OTHER]\n"
        "TEXT1=foreign\n");
    ToolSettingsFile f("tool.ini", 256, dir_);
    f.write("CHECK1", "1");
    f.write("TEXT1", "new");
    f.write("Text1", "newer");  // same key, other spelling: replaces, keeps the later spelling
    EXPECT_EQ(f.read("check1", "x"), "1");
    ASSERT_TRUE(f.save()) << f.error();
    EXPECT_EQ(get(),
              "; comment\n"
              "[SETTINGS]\r\n"
              "CHECK1=1\r\n"
              "UNKNOWN=stays\n"
              "CHECK1=duplicate stays\n"
              "Text1=newer\n"
              "\n"
              "[OTHER]\n"
              "TEXT1=foreign\n");
}

TEST_F(SettingsFileTest, WriteCreatesTheSectionWhenMissing) {
    put("[OTHER]\nA=1");  // no final line break
    ToolSettingsFile f("tool.ini", 256, dir_);
    f.write("LEFT", "300");
    f.write("TOP", "400");
    ASSERT_TRUE(f.save()) << f.error();
    EXPECT_EQ(get(), "[OTHER]\nA=1\n[SETTINGS]\nLEFT=300\nTOP=400\n");
}

TEST_F(SettingsFileTest, LineBreaksInValuesBecomeBlanks) {
    ToolSettingsFile f("tool.ini", 256, dir_);
    f.write("TEXT1", "line one\r\nline two\nthree\r");
    f.write("TEXT2", "after");
    ASSERT_TRUE(f.save()) << f.error();
    EXPECT_EQ(get(), "[SETTINGS]\r\nTEXT1=line one  line two three \r\nTEXT2=after\r\n");
    ToolSettingsFile again("tool.ini", 256, dir_);
    EXPECT_EQ(again.read("TEXT2", ""), "after");
}

TEST_F(SettingsFileTest, SaveKeepsHandEditsMadeSinceTheLoad) {
    put("[SETTINGS]\nMINE=old\nHIS=old\n");
    ToolSettingsFile f("tool.ini", 256, dir_);
    put("[SETTINGS]\nMINE=edited\nHIS=edited\nNEW=added\n");
    f.write("MINE", "tool");
    ASSERT_TRUE(f.save()) << f.error();
    EXPECT_EQ(get(), "[SETTINGS]\nMINE=tool\nHIS=edited\nNEW=added\n");
    EXPECT_EQ(f.read("NEW", ""), "added");
}

TEST_F(SettingsFileTest, FirstSaveCreatesPrivateFolderAndFile) {
    std::string sub = dir_ + "/a/b";
    ToolSettingsFile f("tool.ini", 256, sub);
    EXPECT_EQ(f.read("KEY", "def"), "def");
    f.write("KEY", "v");
    ASSERT_TRUE(f.save()) << f.error();
    struct stat st{};
    ASSERT_EQ(::stat(sub.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(ToolSettingsFile("tool.ini", 256, sub).read("KEY", ""), "v");
    EXPECT_EQ(fs::directory_iterator(sub)->path().filename(), "tool.ini");  // no temporary left
}

TEST_F(SettingsFileTest, FailedSavesAreReportedAndLeaveTheOldFileWhole) {
    // A folder below a regular file cannot be made, even by root.
    put("[SETTINGS]\nK=old\n", "plain");
    ToolSettingsFile underFile("tool.ini", 256, path("plain") + "/sub");
    underFile.write("K", "new");
    EXPECT_FALSE(underFile.save());
    EXPECT_NE(underFile.error().find(path("plain")), std::string::npos) << underFile.error();
    EXPECT_NE(underFile.error().find(std::strerror(ENOTDIR)), std::string::npos) << underFile.error();

    // A write that fails half way (file size limit) leaves the old file and no temporary.
    const std::string old = "[SETTINGS]\nK=old\n";
    put(old);
    ToolSettingsFile f("tool.ini", 256, dir_);
    f.write("K", std::string(4096, 'x'));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool ok = f.save();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(ok);
    EXPECT_NE(f.error().find(path()), std::string::npos) << f.error();
    EXPECT_NE(f.error().find(std::strerror(EFBIG)), std::string::npos) << f.error();
    EXPECT_EQ(get(), old);
    EXPECT_EQ(entries().size(), 2u);  // "plain" and the settings file
    ASSERT_TRUE(f.save()) << f.error();  // the write is still pending and goes out next time
    EXPECT_EQ(ToolSettingsFile("tool.ini", 256, dir_).read("K", "").size(), 255u);

    // A settings "file" that cannot be read is never replaced.
    fs::create_directory(path("dir.ini"));
    ToolSettingsFile unreadable("dir.ini", 256, dir_);
    EXPECT_FALSE(unreadable.error().empty());
    unreadable.write("K", "v");
    EXPECT_FALSE(unreadable.save());
    EXPECT_TRUE(fs::is_directory(path("dir.ini")));
}

TEST_F(SettingsFileTest, KeepsTheEncodingTheFileWasStoredIn) {
    struct Case {
        const char* name;
        std::string stored;       // bytes on disk
        std::string readBack;     // NAME as read, UTF-8
        std::string written;      // new value of TEXT1
        std::string savedBytes;   // the file after the save
        bool lossy;
    } cases[] = {
        {"ansi from windows", "[SETTINGS]\r\nNAME=Ren\xE9 \x80\x85\r\n", "Ren\u00e9 \u20ac\u2026", "Caf\u00e9",
         "[SETTINGS]\r\nNAME=Ren\xE9 \x80\x85\r\nTEXT1=Caf\xE9\r\n", false},
        {"ansi cannot hold it", "[SETTINGS]\nNAME=\xE9t\xE9\n", "\u00e9t\u00e9", "\u0416\u00e9",
         "[SETTINGS]\nNAME=\xE9t\xE9\nTEXT1=?\xE9\n", true},
        {"utf-8 stays utf-8", "[SETTINGS]\nNAME=Ren\u00e9\n", "Ren\u00e9", "\u0416",
         "[SETTINGS]\nNAME=Ren\u00e9\nTEXT1=\u0416\n", false},
    };
    for (const Case& c : cases) {
        put(c.stored);
        ToolSettingsFile f("tool.ini", 256, dir_);
        EXPECT_EQ(f.read("NAME", ""), c.readBack) << c.name;
        f.write("TEXT1", c.written);
        ASSERT_TRUE(f.save()) << c.name << f.error();
        EXPECT_EQ(get(), c.savedBytes) << c.name;
        EXPECT_EQ(f.notice().empty(), !c.lossy) << c.name << f.notice();
        EXPECT_EQ(ToolSettingsFile("tool.ini", 256, dir_).read("NAME", ""), c.readBack) << c.name;
    }

    // A new file is UTF-8, and a value is cut by characters, never inside one.
    ToolSettingsFile fresh("new.ini", 4, dir_);
    fresh.write("K", "\u00e9\u00e9\u00e9\u00e9");
    ASSERT_TRUE(fresh.save()) << fresh.error();
    EXPECT_EQ(get("new.ini"), "[SETTINGS]\r\nK=\u00e9\u00e9\u00e9\u00e9\r\n");
    EXPECT_EQ(ToolSettingsFile("new.ini", 4, dir_).read("K", ""), "\u00e9\u00e9\u00e9");
}

// The 32 bytes where Windows-1252 is not Latin-1, each read as its character and written back as the
// same byte. The five bytes Windows leaves undefined read as the control character of their number and
// survive the round trip too; the C1 characters Windows-1252 has no byte for are written as "?", with
// a notice, never as a byte that reads back as another character.
TEST_F(SettingsFileTest, EveryWindows1252ByteBeyondLatin1IsReadAndWrittenAsItsCharacter) {
    const struct {
        unsigned char byte;
        std::string utf8;
    } rows[] = {
        {0x80, "\u20ac"}, {0x81, "\xC2\x81"}, {0x82, "\u201a"}, {0x83, "\u0192"}, {0x84, "\u201e"},
        {0x85, "\u2026"}, {0x86, "\u2020"},   {0x87, "\u2021"}, {0x88, "\u02c6"}, {0x89, "\u2030"},
        {0x8A, "\u0160"}, {0x8B, "\u2039"},   {0x8C, "\u0152"}, {0x8D, "\xC2\x8D"}, {0x8E, "\u017d"},
        {0x8F, "\xC2\x8F"}, {0x90, "\xC2\x90"}, {0x91, "\u2018"}, {0x92, "\u2019"}, {0x93, "\u201c"},
        {0x94, "\u201d"}, {0x95, "\u2022"},   {0x96, "\u2013"}, {0x97, "\u2014"}, {0x98, "\u02dc"},
        {0x99, "\u2122"}, {0x9A, "\u0161"},   {0x9B, "\u203a"}, {0x9C, "\u0153"}, {0x9D, "\xC2\x9D"},
        {0x9E, "\u017e"}, {0x9F, "\u0178"},
    };
    auto key = [](const char* prefix, unsigned char b) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%s%02X", prefix, b);
        return std::string(buf);
    };
    std::string stored = "[SETTINGS]\r\n";
    for (const auto& r : rows) stored += key("R", r.byte) + "=" + static_cast<char>(r.byte) + "\r\n";
    put(stored);
    ToolSettingsFile f("tool.ini", 256, dir_);
    for (const auto& r : rows) EXPECT_EQ(f.read(key("R", r.byte), ""), r.utf8) << key("R", r.byte);

    std::string saved = stored;
    for (const auto& r : rows) {
        f.write(key("W", r.byte), r.utf8);
        saved += key("W", r.byte) + "=" + static_cast<char>(r.byte) + "\r\n";
    }
    ASSERT_TRUE(f.save()) << f.error();
    EXPECT_EQ(get(), saved);
    EXPECT_EQ(f.notice(), "");

    std::string unheld;
    for (unsigned cp = 0x80; cp < 0xA0; ++cp)
        if (cp != 0x81 && cp != 0x8D && cp != 0x8F && cp != 0x90 && cp != 0x9D)
            unheld += {'\xC2', static_cast<char>(cp)};
    f.write("C1", unheld);
    ASSERT_TRUE(f.save()) << f.error();
    EXPECT_EQ(get(), saved + "C1=" + std::string(27, '?') + "\r\n");
    EXPECT_NE(f.notice(), "");
}

TEST_F(SettingsFileTest, ReadsOnlyRegularFilesOfAtMostOneMegabyte) {
    ASSERT_EQ(::mkfifo(path("fifo.ini").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", path("zero.ini"));
    put("[SETTINGS]\nK=v\n" + std::string(1 << 20, ';'), "big.ini");
    put("[SETTINGS]\nK=v\n" + std::string((1 << 20) - 16, ';'), "fits.ini");
    struct Case {
        const char* name;
        const char* why;  // "" when it reads
    } cases[] = {{"fifo.ini", "not a regular file"}, {"zero.ini", "not a regular file"},
                 {"big.ini", "larger than 1 MB"}, {"fits.ini", ""}};
    for (const Case& c : cases) {
        ToolSettingsFile f(c.name, 256, dir_);  // returns at once: a pipe or a device is not read
        EXPECT_EQ(f.error().empty(), std::string(c.why).empty()) << c.name << f.error();
        EXPECT_NE(f.error().find(c.why), std::string::npos) << c.name << f.error();
        EXPECT_EQ(f.read("K", "def"), *c.why ? "def" : "v") << c.name;
        f.write("K", "new");
        EXPECT_EQ(f.save(), !*c.why) << c.name;  // an unreadable "file" is never replaced
    }
    EXPECT_TRUE(fs::is_fifo(path("fifo.ini")));
    EXPECT_TRUE(fs::is_symlink(path("zero.ini")));
}

TEST_F(SettingsFileTest, StartUpRemovesOnlyItsOwnTemporariesAndOnlyInTheSettingsFolder) {
    // The settings file is a link into a folder of the operator's.
    fs::create_directory(path("elsewhere"));
    std::ofstream(path("elsewhere/real.ini")) << "[SETTINGS]\nK=v\n";
    fs::create_symlink(path("elsewhere/real.ini"), path("tool.ini"));
    put("half written", ".tool.ini.tmp-a1B2c3");
    put("half written", ".tool.ini.tmp-ZZZZZZ");
    // The operator's own copies, whatever their names look like.
    for (const char* name : {"tool.ini.backup", "tool.ini.2024v1", "tool.ini.a1B2c3", ".tool.ini.tmp-a1B2c",
                             ".tool.ini.tmp-a1B2c34", "tool.ini.tmp-a1B2c3", ".other.ini.tmp-a1B2c3",
                             "elsewhere/.real.ini.tmp-a1B2c3", "elsewhere/real.ini.before"})
        put("someone's", name);
    fs::create_directory(path(".tool.ini.tmp-dir123"));
    // A temporary that a running writer holds locked is not a leftover.
    put("being written", ".tool.ini.tmp-Locked");
    const int held = ::open(path(".tool.ini.tmp-Locked").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    ToolSettingsFile f("tool.ini", 256, dir_);
    EXPECT_EQ(f.read("K", ""), "v");
    ::close(held);
    std::vector<std::string> left = entries();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".other.ini.tmp-a1B2c3", ".tool.ini.tmp-Locked", ".tool.ini.tmp-a1B2c",
                                              ".tool.ini.tmp-a1B2c34", ".tool.ini.tmp-dir123", "elsewhere",
                                              "tool.ini", "tool.ini.2024v1", "tool.ini.a1B2c3", "tool.ini.backup",
                                              "tool.ini.tmp-a1B2c3"}));
    EXPECT_TRUE(fs::exists(path("elsewhere/.real.ini.tmp-a1B2c3")));
    EXPECT_TRUE(fs::exists(path("elsewhere/real.ini.before")));

    // A save makes its temporary in the form the start-up removes, and leaves none.
    std::string made = temporaryPattern(path("elsewhere/real.ini"));
    made.replace(made.size() - 6, 6, "q9Z8y7");
    EXPECT_EQ(fs::path(made).parent_path(), fs::path(path("elsewhere")));
    EXPECT_TRUE(isTemporaryOf(fs::path(made).filename(), "real.ini"));
    f.write("K", "w");
    ASSERT_TRUE(f.save());
    std::vector<std::string> there;
    for (const auto& e : fs::directory_iterator(path("elsewhere"))) there.push_back(e.path().filename());
    std::sort(there.begin(), there.end());
    EXPECT_EQ(there, (std::vector<std::string>{".real.ini.tmp-a1B2c3", "real.ini", "real.ini.before"}));
}

TEST(SettingsPlaces, SettingsDirectory) {
    {
        ScopedEnv env{{"TARNWICK_CONFIG_DIR", "/cfg"}, {"XDG_CONFIG_HOME", "/xdg"}, {"HOME", "/home/op"}};
        EXPECT_EQ(settingsDirectory(), "/cfg");
        EXPECT_EQ(ToolSettingsFile("tarnwick.ini").path(), "/cfg/tarnwick.ini");
    }
    {
        ScopedEnv env{{"TARNWICK_CONFIG_DIR", nullptr}, {"XDG_CONFIG_HOME", "/xdg"}, {"HOME", "/home/op"}};
        EXPECT_EQ(settingsDirectory(), "/xdg/tarnwick");
    }
    {
        ScopedEnv env{{"TARNWICK_CONFIG_DIR", ""}, {"XDG_CONFIG_HOME", nullptr}, {"HOME", "/home/op"}};
        EXPECT_EQ(settingsDirectory(), "/home/op/.config/tarnwick");
    }
}

TEST(SettingsPlaces, MapWindowsPath) {
    ScopedEnv env{{"TARNWICK_DRIVES", "/drives"}};
    struct Case {
        const char* in;
        const char* want;
    } cases[] = {
        {"C:\\News1.mp3", "/drives/c/News1.mp3"},
        {"d:\\Audio\\Net\\Id.wav", "/drives/d/Audio/Net/Id.wav"},
        {"E:", "/drives/e"},
        {"C:\\", "/drives/c"},
        {"/srv/audio/a.mp3", "/srv/audio/a.mp3"},
        {"/odd\\name", "/odd\\name"},
        {"sub\\file.wav", "sub/file.wav"},
        {"file.wav", "file.wav"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(mapWindowsPath(c.in), c.want) << c.in;

    ScopedEnv defaults{{"TARNWICK_DRIVES", nullptr}, {"XDG_DATA_HOME", "/data"}, {"HOME", "/home/op"}};
    EXPECT_EQ(mapWindowsPath("C:\\a.mp3"), "/data/tarnwick/drives/c/a.mp3");
    ScopedEnv noXdg{{"XDG_DATA_HOME", nullptr}};
    EXPECT_EQ(mapWindowsPath("C:\\a.mp3"), "/home/op/.local/share/tarnwick/drives/c/a.mp3");
}

TEST(SettingsNumbers, LeadingNumber) {
    struct Case {
        const char* in;
        std::optional<long long> want;
    } cases[] = {
        {"12abc", 12},
        {"  7", 7},
        {"-45", -45},
        {"+3", 3},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {" - 4", std::nullopt},
        {"9223372036854775807", LLONG_MAX},
        {"99999999999999999999999", LLONG_MAX},
        {"-9223372036854775808", LLONG_MIN},
        {"-99999999999999999999999", LLONG_MIN},
    };
    for (const Case& c : cases) EXPECT_EQ(leadingNumber(c.in), c.want) << c.in;
}

// A small tool: one control of each kind, some keys read in mixed case and written in capitals.
struct MiniTool {
    TextBox Text1{"Text1"};
    Label Label1{"Label1"};
    CheckBox Check1{"Check1", "Tick"};
    OptionButton Option1{"Option1", "One"};
    ScrollBar HScroll1{"HScroll1", 1, 60};
    ComboBox Combo1{"Combo1"};
    int left = 0;
    std::string readOnly;
    int textChanges = 0;

    SettingsTable table;
    MiniTool() {
        Text1.onChange = [this] { ++textChanges; };
        table.text("Text1", Text1, "C:\\News1.mp3", "TEXT1")
            .label("LABEL1", Label1, "15")
            .check("Check1", Check1, "1", "CHECK1")
            .option("OPTION1", Option1, "True")
            .scroll("HSCROLL1", HScroll1, "30")
            .combo("COMBO1", Combo1, "Mon")
            .number("LEFT", left, "300")
            .custom("NEVERWRITTEN", "fixed", [this](const std::string& v) { readOnly = v; }, {});
    }
};

TEST_F(SettingsFileTest, MissingFileLoadsDefaultsAndFirstSaveWritesEveryWrittenKey) {
    MiniTool t;
    ToolSettingsFile f("tool.ini", 256, dir_);
    t.table.load(f);
    EXPECT_EQ(t.Text1.text(), "C:\\News1.mp3");
    EXPECT_EQ(t.textChanges, 1);  // a load runs change handlers, as setting the text does
    EXPECT_EQ(t.Label1.text(), "15");
    EXPECT_EQ(t.Check1.value(), 1);
    EXPECT_TRUE(t.Option1.value());
    EXPECT_EQ(t.HScroll1.value(), 30);
    EXPECT_EQ(t.Combo1.text(), "Mon");
    EXPECT_EQ(t.left, 300);
    EXPECT_EQ(t.readOnly, "fixed");
    EXPECT_EQ(t.table.keysRead(), 8u);
    EXPECT_EQ(t.table.keysWritten(), 7u);

    t.Text1.setText("typed  text ");
    t.Check1.setValue(2);
    t.Option1.setValue(false);
    t.table.store(f);
    ASSERT_TRUE(f.save()) << f.error();
    EXPECT_EQ(get(),
              "[SETTINGS]\r\n"
              "TEXT1=typed  text \r\n"
              "LABEL1=15\r\n"
              "CHECK1=2\r\n"
              "OPTION1=False\r\n"
              "HSCROLL1=30\r\n"
              "COMBO1=Mon\r\n"
              "LEFT=300\r\n");

    MiniTool back;
    back.table.load(ToolSettingsFile("tool.ini", 256, dir_));
    EXPECT_EQ(back.Text1.text(), "typed  text ");
    EXPECT_EQ(back.Check1.value(), 2);
    EXPECT_FALSE(back.Option1.value());
}

TEST_F(SettingsFileTest, BadStoredValuesReadAsNumbersWithinRange) {
    struct Case {
        const char* stored;
        int check, scroll, left;
    } cases[] = {
        {"1", 1, 1, 1},
        {"12abc", 2, 12, 12},
        {" 45", 2, 45, 45},
        {"abc", 1, 30, 300},  // not a number: the key's default
        {"", 1, 30, 300},
        {"-3", 0, 1, -3},
        {"99999999999999999999", 2, 60, INT_MAX},
        {"-99999999999", 0, 1, INT_MIN},
    };
    for (const Case& c : cases) {
        put(std::string("[SETTINGS]\nCHECK1=") + c.stored + "\nHSCROLL1=" + c.stored + "\nLEFT=" + c.stored + "\n");
        MiniTool t;
        t.table.load(ToolSettingsFile("tool.ini", 256, dir_));
        EXPECT_EQ(t.Check1.value(), c.check) << c.stored;
        EXPECT_EQ(t.HScroll1.value(), c.scroll) << c.stored;
        EXPECT_EQ(t.left, c.left) << c.stored;
    }

    // A default that is no number either leaves 0, clamped to the control's range.
    put("[SETTINGS]\nN=junk\n");
    ToolSettingsFile f("tool.ini", 256, dir_);
    CheckBox box("Check2", "x", {}, 1);
    ScrollBar bar("HScroll2", 5, 10, 7);
    int n = 9;
    SettingsTable().check("N", box, "junk").scroll("N", bar, "junk").number("N", n, "junk").load(f);
    EXPECT_EQ(box.value(), 0);
    EXPECT_EQ(bar.value(), 5);
    EXPECT_EQ(n, 0);
}

TEST_F(SettingsFileTest, OptionButtonsReadTrueOrANonZeroNumber) {
    struct Case {
        const char* stored;
        bool want;
    } cases[] = {{"True", true},   {"TRUE", true}, {"true", true}, {"False", false}, {"-1", true},
                 {"1", true},      {"0", false},   {"0.0", false}, {"2.5", true},    {"yes", false},
                 {"1abc", false},  {"", false}};
    for (const Case& c : cases) {
        put(std::string("[SETTINGS]\nOPTION1=") + c.stored + "\n");
        MiniTool t;
        t.Option1.setValue(!c.want);
        t.table.load(ToolSettingsFile("tool.ini", 256, dir_));
        EXPECT_EQ(t.Option1.value(), c.want) << c.stored;
    }
}

}  // namespace
}  // namespace tarnwick
