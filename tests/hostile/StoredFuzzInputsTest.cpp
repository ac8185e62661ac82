// Every seed and every input a fuzz run ever broke an invariant with, replayed
// through the same checks in the ordinary build, so a fixed fault stays fixed.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzCases.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The files under fuzz/corpus/<target>/ and fuzz/regressions/<target>/.
std::vector<fs::path> StoredInputs(const std::string& target) {
    std::vector<fs::path> files;
    for (const char* kind : {"corpus", "regressions"}) {
        const fs::path folder = fs::path(TAMSEL_FUZZ_DIR) / kind / target;
        std::error_code error;
        if (!fs::is_directory(folder, error)) {
            continue;
        }
        for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
        }
    }
    return files;
}

class StoredFuzzInputs : public ::testing::TestWithParam<std::string> {};

TEST_P(StoredFuzzInputs, KeepEveryInvariant) {
    const fuzzcases::CaseFunction check = fuzzcases::CaseByTarget(GetParam());
    ASSERT_NE(check, nullptr);
    const std::vector<fs::path> files = StoredInputs(GetParam());
    // Every target has seeds; none found means the folder moved, not that all passed.
    ASSERT_FALSE(files.empty()) << "no stored inputs for " << GetParam();
    for (const fs::path& file : files) {
        EXPECT_EQ(check(ReadAll(file)), "") << file;
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, StoredFuzzInputs,
                         ::testing::Values("fuzz_html_document", "fuzz_result_links", "fuzz_title",
                                           "fuzz_media_finder", "fuzz_task_url",
                                           "fuzz_hls_playlist"),
                         [](const auto& info) { return info.param; });

}  // namespace
