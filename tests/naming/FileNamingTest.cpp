#include <gtest/gtest.h>

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
        {"a.flv.flv", "a[2].flv[2].flv"},
        {"Twice.flv", "Twice[2].flv"},   // looks once: the [2] name is returned though taken
        {"my clip.flv", "my clip.flv"},  // file names compare case-sensitively
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ApplyTakenNameRule(folder.Path(), c.name), c.expected) << c.name;
    }
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
