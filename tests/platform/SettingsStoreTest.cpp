// The INI settings store that the desktop program's QSettings and the engine share.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/IniFile.h"
#include "platform/SettingsStore.h"
#include "support/TempDir.h"

namespace svt::platform {
namespace {

using test::TempDir;

// Values as QSettings writes them (each read back the same), and as others wrote them.
TEST(IniFile, ValuesAreWrittenAsQSettingsWritesThemAndReadAsOthersDid) {
    struct Case {
        const char* name;
        std::string raw;                  // how it stands in the file
        std::optional<std::string> text;  // what it holds
        bool written = false;             // the form a value is written in
    };
    const Case cases[] = {
        {"plain path", "/usr/lib/libgogo.so", "/usr/lib/libgogo.so", true},
        {"leading space", "\" x\"", " x", true},
        {"comma would make a list", "\"a,b\"", "a,b", true},
        {"quote and backslash", "C:\\\\x \\\"y\\\"", "C:\\x \"y\"", true},
        {"newline and tab", "a\\nb\\tc", "a\nb\tc", true},
        {"control byte before a hex digit", "a\\x0001b", std::string("a\x01") + "b", true},
        {"at sign", "@@home", "@home", true},
        {"quoted part in the middle", "/a/\"b,c\"/d", "/a/b,c/d"},
        {"old escape of a non-ASCII character", "/home/j\\x00fcrgen", "/home/j\xC3\xBCrgen"},
        {"escaped surrogate pair", "\\xd83c\\xdfb5", "\xF0\x9F\x8E\xB5"},
        {"lone surrogate", "\\xd83c", "\xEF\xBF\xBD"},
        {"comment after the value", "/a/b ; note", "/a/b"},
        {"a list is not a text", "/a, /b", std::nullopt},
        {"a variant is not a text", "@Variant(\\0\\0\\0\\x7f)", std::nullopt},
        {"byte array", "@ByteArray(/a/b)", "/a/b"},
        {"unterminated quote", "\"/a/b", "/a/b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(iniUnescapeValue(c.raw), c.text);
        if (c.written) {
            EXPECT_EQ(iniEscapeValue(*c.text), c.raw);
        }
    }
}

TEST(IniFile, KeysAndGroupsAsQSettingsEscapesThem) {
    struct Case {
        std::string key, raw;
    };
    const Case cases[] = {
        {"INSTPATH", "INSTPATH"}, {"group/key", "group\\key"}, {"a b", "a%20b"},
        {"\xC3\xBC", "%FC"},      {"\xE2\x82\xAC", "%U20AC"},  {"\xF0\x9F\x8E\xB5", "%UD83C%UDFB5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(iniEscapeKey(c.key), c.raw);
        EXPECT_EQ(iniUnescapeKey(c.raw), c.key);
    }
    EXPECT_EQ(iniUnescapeKey("bad%zz%U12"), "bad%zz%U12") << "broken escapes stay as they are";
}

TEST(IniFile, ChangingOneValueKeepsEverythingElse) {
    const std::string original =
        "; written by hand\n"
        "[General]\n"
        "OTHER=1\n"
        "INSTPATH=/old/gogo.so\n"
        "\n"
        "[Window]\n"
        "size=@Size(640 480)\n"
        "junk line without equals\n";
    IniFile ini = IniFile::parse(original);
    EXPECT_EQ(ini.value("General", "INSTPATH"), "/old/gogo.so");
    EXPECT_EQ(ini.value("Window", "size"), std::nullopt);
    EXPECT_EQ(ini.value("Window", "INSTPATH"), std::nullopt) << "groups are kept apart";
    ini.setValue("General", "INSTPATH", "/new/gogo.so");
    ini.setValue("General", "ADDED", "a,b");
    ini.setValue("Other", "k", "v");
    // The changed line in its place, the new one at the end of its group, a new group last.
    std::string expected = original;
    expected.replace(expected.find("/old/"), 5, "/new/");
    expected.insert(expected.find("\n[Window]"), "ADDED=\"a,b\"\n");
    EXPECT_EQ(ini.text(), expected + "\n[Other]\nk=v\n");
    // Keys before any group header belong to General; the later of two lines wins.
    IniFile loose = IniFile::parse("INSTPATH=/a\r\nINSTPATH=/b\r\n");
    EXPECT_EQ(loose.value("General", "INSTPATH"), "/b");
    EXPECT_EQ(IniFile::parse("").value("General", "INSTPATH"), std::nullopt);
    IniFile fresh = IniFile::parse("");
    fresh.setValue("General", "INSTPATH", "/x");
    EXPECT_EQ(fresh.text(), "[General]\nINSTPATH=/x\n");
}

TEST(SettingsStore, WritesAndReadsThroughTheFile) {
    TempDir dir;
    SettingsStore store(dir.file("cfg/MarineCat/GOGO_DLL.conf"));
    EXPECT_EQ(store.readString("INSTPATH"), std::nullopt) << "no file yet";
    ASSERT_TRUE(store.writeString("INSTPATH", "/opt/gogo/libgogo.so").ok())
        << "folders are created";
    ASSERT_TRUE(store.writeString("SECOND", " padded ").ok());
    EXPECT_EQ(store.readString("INSTPATH"), "/opt/gogo/libgogo.so");
    EXPECT_EQ(SettingsStore(store.path()).readString("SECOND"), " padded ");
    EXPECT_FALSE(std::filesystem::exists(store.path() + ".new"));

    // Broken, oversized or empty files read as empty and take what is saved (one too large to
    // hold settings would otherwise keep every later save out); a folder is no file.
    const std::pair<const char*, std::string> cases[] = {
        {"binary junk", std::string("\0\xff[\n=\n[[[]]]==\"\\", 16)},
        {"oversized", std::string(SettingsStore::kMaxFileBytes + 1, 'x')},
        {"empty", ""},
    };
    for (const auto& [name, content] : cases) {
        SCOPED_TRACE(name);
        SettingsStore s(dir.write(std::string(name) + ".conf", content));
        EXPECT_EQ(s.readString("INSTPATH"), std::nullopt);
        EXPECT_TRUE(s.writeString("INSTPATH", "/p").ok());
        EXPECT_EQ(s.readString("INSTPATH"), "/p");
    }
    SettingsStore folder(dir.file("cfg"));
    EXPECT_EQ(folder.readString("INSTPATH"), std::nullopt);
    const Status w = folder.writeString("INSTPATH", "/p");
    ASSERT_FALSE(w.ok());
    EXPECT_NE(w.error().message.find(folder.path()), std::string::npos)
        << "the error names the file";
}

TEST(SettingsStore, LivesWhereQSettingsKeepsTheApplicationsSettings) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string keep = saved != nullptr ? saved : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/xdg-test", 1);
    EXPECT_EQ(SettingsStore::forApplication("MarineCat", "GOGO_DLL").path(),
              "/tmp/xdg-test/MarineCat/GOGO_DLL.conf");
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(SettingsStore::forApplication("A", "B").path(),
              std::string(std::getenv("HOME")) + "/.config/A/B.conf");
    if (saved != nullptr)
        ::setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace svt::platform
