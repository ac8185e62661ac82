#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "download/FileNaming.h"
#include "tests/support/TestFiles.h"

using namespace tamsel;

namespace fs = std::filesystem;

namespace {

using TempFolder = testsupport::TempDir;

void Touch(const std::string& path) {
    std::ofstream(path) << "x";
}

TEST(ApplyTakenNameRule, RenamesOnlyTakenNames) {
    TempFolder folder;
    ASSERT_FALSE(folder.Path().empty());
    Touch(folder.Path() + "/My Clip.flv");
    Touch(folder.Path() + "/a.flv.flv");
    Touch(folder.Path() + "/Twice.flv");
    Touch(folder.Path() + "/Twice[2].flv");
    const struct {
        std::string name;
        std::string expected;
    } cases[] = {
        {"My Clip.flv", "My Clip[2].flv"},
        {"Free.flv", "Free.flv"},
        {"a.flv.flv", "a.flv[2].flv"},        // the number goes before the last extension
        {"Twice.flv", "Twice[3].flv"},        // counts on until the name is free
        {"my clip.flv", "my clip.flv"},       // file names compare case-sensitively
        {"Parted.flv", "Parted[2].flv"},      // a part file holds the name as well
        {"Linked.flv", "Linked[2].flv"},      // so does a dangling link
        {"Reserved.flv", "Reserved[3].flv"},  // and a name another task holds
        {"noext", "noext[2]"},
    };
    Touch(folder.Path() + "/Parted.flv.part");
    Touch(folder.Path() + "/noext");
    ASSERT_EQ(symlink("/nonexistent/target", (folder.Path() + "/Linked.flv").c_str()), 0);
    const NameTakenByTask taken = [](const std::string& name) {
        return name == "Reserved.flv" || name == "Reserved[2].flv";
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ApplyTakenNameRule(folder.Path(), c.name, taken), c.expected) << c.name;
    }
}

TEST(FileNames, NumberedAndPartNamesStayWithinTheLimit) {
    const std::string longName = std::string(250, 'a') + ".flv";
    for (int n : {2, 10, 12345}) {
        const std::string numbered = NumberedName(longName, n);
        EXPECT_LE(numbered.size(), kMaxFileNameBytes);
        EXPECT_EQ(numbered.substr(numbered.size() - 4), ".flv");
        EXPECT_NE(numbered.find("[" + std::to_string(n) + "]"), std::string::npos);
    }
    EXPECT_EQ(PartNameFor("a.flv"), "a.flv.part");
    EXPECT_EQ(PartNameFor(longName).size(), kMaxFileNameBytes);
}

TEST(FileNames, TheMediaNamesItsContainer) {
    const struct {
        std::string url;
        std::string contentType;
        std::string address;  // ExtensionFromAddress
        std::string type;     // ExtensionFromContentType
    } cases[] = {
        {"http://h/v/clip.MP4?x=1.flv", "video/mp4; codecs=x", ".mp4", ".mp4"},
        {"http://h/get?id=3", "video/webm", "", ".webm"},
        {"http://h/a.webm/video", "application/octet-stream", "", ""},
        {"http://h/x.ts#frag", "video/MP2T", ".ts", ".ts"},
        {"http://h.mov", "video/x-flv", "", ".flv"},
        {"http://h/x.exe", "text/html", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtensionFromAddress(c.url), c.address) << c.url;
        EXPECT_EQ(ExtensionFromContentType(c.contentType), c.type) << c.contentType;
    }
    EXPECT_EQ(WithMediaExtension("Clip.flv", ".mp4"), "Clip.mp4");
    EXPECT_EQ(WithMediaExtension("Clip.flv", ""), "Clip.flv");
    EXPECT_EQ(WithMediaExtension("Clip.webm", ".mp4"), "Clip.webm");
    EXPECT_TRUE(HasVideoExtension("x.MP4"));
    EXPECT_FALSE(HasVideoExtension("x.mp4.exe"));
    EXPECT_FALSE(HasVideoExtension(".mp4"));
}

class DefaultFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_home.Path().empty());
        Remember("HOME", m_savedHome);
        Remember("XDG_CONFIG_HOME", m_savedConfig);
        setenv("HOME", m_home.Path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_home.Path() + "/cfg").c_str(), 1);
        fs::create_directories(m_home.Path() + "/cfg");
    }
    void TearDown() override {
        Restore("HOME", m_savedHome);
        Restore("XDG_CONFIG_HOME", m_savedConfig);
    }
    void WriteUserDirs(const std::string& content) {
        std::ofstream(m_home.Path() + "/cfg/user-dirs.dirs") << content;
    }
    static void Remember(const char* name, std::optional<std::string>& slot) {
        if (const char* v = std::getenv(name)) {
            slot = v;
        }
    }
    static void Restore(const char* name, const std::optional<std::string>& slot) {
        if (slot) {
            setenv(name, slot->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }

    TempFolder m_home;
    std::optional<std::string> m_savedHome;
    std::optional<std::string> m_savedConfig;
};

TEST_F(DefaultFolderTest, FollowsUserDirsAndCreatesTheFolder) {
    const std::string home = m_home.Path();
    const struct {
        std::string userDirs;  // empty: no file
        std::string expected;
    } cases[] = {
        {"", home + "/Documents/Vorrel"},
        {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n",
         home + "/Dokumente/Vorrel"},
        {"XDG_DOCUMENTS_DIR=\"" + home + "/abs/docs/\"\n", home + "/abs/docs/Vorrel"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/My\\ Docs\"\n", home + "/My Docs/Vorrel"},
        {"XDG_DOCUMENTS_DIR=relative\n", home + "/Documents/Vorrel"},
    };
    for (const auto& c : cases) {
        fs::remove(home + "/cfg/user-dirs.dirs");
        if (!c.userDirs.empty()) {
            WriteUserDirs(c.userDirs);
        }
        EXPECT_EQ(GetDefaultFolder(), c.expected) << c.userDirs;
        EXPECT_TRUE(fs::is_directory(c.expected)) << c.expected;
    }
}

TEST(MakeTimeName, IsFourteenDigitsOfLocalTimeAndSuffix) {
    const std::time_t before = std::time(nullptr);
    const std::string name = MakeTimeName(".flv");
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(name.size(), 18u);
    EXPECT_EQ(name.substr(14), ".flv");
    std::tm parsed{};
    ASSERT_NE(strptime(name.substr(0, 14).c_str(), "%Y%m%d%H%M%S", &parsed), nullptr);
    parsed.tm_isdst = -1;
    const std::time_t when = std::mktime(&parsed);
    EXPECT_GE(when, before - 1);
    EXPECT_LE(when, after + 1);
}

}  // namespace
