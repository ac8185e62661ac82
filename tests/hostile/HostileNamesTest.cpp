// File names made from hostile page titles: what the name rules leave of them, and
// that a real download under such a name lands inside the task's folder and nowhere else.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>

#include "download/FileNaming.h"
#include "download/MediaFetcher.h"
#include "download/PageTitle.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"

using namespace tamsel;

namespace fs = std::filesystem;

namespace {

struct NameCase {
    const char* label;
    std::string text;  // what ReadTitleLines would return
    std::string name;
};

class HostileTitleNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(HostileTitleNames, BecomeSafeNames) {
    EXPECT_EQ(TitleToFileName(GetParam().text), GetParam().name);
}

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Titles, HostileTitleNames,
    ::testing::Values(
        NameCase{"C1 controls go, no-break space stays",
                 "<title>a\xC2\x85"
                 "b\xC2\x9F"
                 "c\xC2\xA0"
                 "d</title>",
                 "abc\xC2\xA0"
                 "d.flv"},
        NameCase{"encoded C1 controls go", "<title>x&#133;y&#x9F;z&#x80;</title>", "xyz.flv"},
        NameCase{"raw NUL bytes go", std::string("<title>a\0b\0</title>", 19), "ab.flv"},
        NameCase{"a lone dot", "<title>.</title>", ""},
        NameCase{"two dots with blanks", "<title> .. </title>", ""},
        NameCase{"only encoded forbidden characters",
                 "<title>&#58;&#42;&quot;&lt;&gt;&#124;&#92;&#x3F;&#x2f;</title>", ""},
        NameCase{"encoded bidi and zero-width characters go",
                 "<title>&#x202E;&#x200B;clip&#x2067;&#xFEFF;</title>", "clip.flv"},
        NameCase{"forbidden characters do not count against the length",
                 "<title>" + Repeat("/", 100) + Repeat("\xD0\xB6", 150) + "</title>",
                 Repeat("\xD0\xB6", 125) + ".flv"},
        NameCase{"300 bytes of Thai cut whole",
                 "<title>" + Repeat("\xE0\xB8\x81", 100) + "</title>",
                 Repeat("\xE0\xB8\x81", 83) + ".flv"},
        NameCase{"300 bytes of emoji and Arabic cut whole",
                 "<title>" + Repeat("\xF0\x9F\x8E\xAC\xD8\xB9", 50) + "</title>",
                 Repeat("\xF0\x9F\x8E\xAC\xD8\xB9", 41) + "\xF0\x9F\x8E\xAC.flv"},
        NameCase{"a blank at the cut is trimmed", "<title>" + Repeat("a", 250) + " bcd</title>",
                 Repeat("a", 250) + ".flv"}),
    [](const auto& info) {
        std::string name;
        for (const char c : std::string(info.param.label)) {
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

TEST(TakenLongNames, StayWithinTheFileSystemLimitAndWholeCharacters) {
    testsupport::TempDir folder;
    const struct {
        std::string name;
        std::string renamed;
    } cases[] = {
        {Repeat("a", 251) + ".flv", Repeat("a", 248) + "[2].flv"},
        {"a" + Repeat("\xD0\xB6", 125) + ".flv", "a" + Repeat("\xD0\xB6", 123) + "[2].flv"},
        {Repeat(".flv", 63), Repeat(".flv", 62) + "[2].flv"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(testsupport::WriteFile(folder.File(c.name), "taken"));
        EXPECT_EQ(ApplyTakenNameRule(folder.Path(), c.name), c.renamed);
    }
}

// Stands in for the view: waits for the fetcher's last report.
class TerminalReport : public FetchReportSink {
public:
    void PostFetchProgress(int code, int, std::uint64_t) override {
        if (IsTerminalFetchCode(code)) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_nCode = code;
            m_changed.notify_all();
        }
    }
    void RequestCredentials(std::shared_ptr<CredentialsRequest> request) override {
        request->Answer(false, "", "");
    }
    int Wait() {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_nCode != 0; });
        return m_nCode;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_nCode = 0;
};

TEST(HostileTitleDownloads, LandInsideTheTaskFolder) {
    testsupport::TempDir root;
    const fs::path folder = fs::path(root.Path()) / "downloads";
    fs::create_directory(folder);
    const std::string media = testsupport::MakeTestBytes(3000, 7);
    testsupport::TestHttpServer server;
    server.ServeBytes("/clip.flv", media);
    ASSERT_TRUE(server.Start());
    // A hidden file of the old blank-title name, never touched.
    ASSERT_TRUE(testsupport::WriteFile((folder / ".flv").string(), "earlier"));

    const std::string titles[] = {
        "<title>../../outside</title>",
        "<title>&#47;..&#47;..&#47;escape</title>",
        "<title>..</title>",
        "<title>\\..\\..\\back</title>",
        "<title>" + Repeat("../", 100) + "</title>",
        "<title> </title>",
        "<title>../../outside</title>",  // again: "[2]" this time
        "<title>" + Repeat("a", 300) + "</title>",
        "<title>" + Repeat("a", 300) + "</title>",  // a 255-byte name, renamed
        "<title>" + Repeat(".flv", 70) + "</title>",
        "<title>" + Repeat(".flv", 70) + "</title>",  // every ".flv" grows when renamed
    };
    int taskId = 1;
    for (const std::string& title : titles) {
        // A title that names nothing leaves the task its time name, as the table does.
        std::string titleName = TitleToFileName(CollectTitleLines(title));
        if (titleName.empty()) {
            titleName = MakeTimeName(".flv");
        }
        const std::string name = ApplyTakenNameRule(folder.string(), titleName);
        SCOPED_TRACE(name);
        TerminalReport report;
        {
            MediaFetcher fetcher;
            fetcher.SetView(&report);
            fetcher.SetTask(folder.string(), server.Url("/clip.flv"), name, taskId++, 0);
            ASSERT_TRUE(fetcher.Start());
            EXPECT_EQ(report.Wait(), FETCH_DONE);
        }
        EXPECT_LE(name.size(), 255u);
        const fs::path written = folder / name;
        EXPECT_TRUE(testsupport::ReadFile(written.string()) == media);
        std::error_code error;
        EXPECT_EQ(fs::weakly_canonical(written, error).parent_path(), fs::canonical(folder));
    }
    EXPECT_EQ(testsupport::ReadFile((folder / ".flv").string()), "earlier");
    // Nothing appeared beside the task folder.
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(root.Path())) {
        EXPECT_EQ(entry.path(), folder);
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

}  // namespace
