#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "config/JobFiles.h"
#include "config/PrivateProfile.h"
#include "support/TempDir.h"

namespace pelkor {
namespace {

TEST(JobFiles, RecentListNewestFirstOnceBoundedAndOnlyExistingFiles) {
    TempDir dir;
    const std::string data = dir.file("new/data"); // made on first use
    std::string error;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < MaxRecentFiles + 2; ++i) {
        files.push_back(dir.file("job" + std::to_string(i) + ".pelk"));
        std::ofstream(files.back()) << "[Pelkor]\n";
        ASSERT_TRUE(RememberRecentFile(data, files.back(), error)) << error;
    }
    ASSERT_TRUE(RememberRecentFile(data, files[5], error)) << error;
    std::filesystem::remove(files[6]);
    const auto recent = ReadRecentFiles(data);
    ASSERT_EQ(recent.size(), MaxRecentFiles - 1);
    EXPECT_EQ(recent[0], files[5]);
    EXPECT_EQ(recent[1], files[MaxRecentFiles + 1]);
    EXPECT_EQ(std::count(recent.begin(), recent.end(), files[5]), 1);
    EXPECT_EQ(std::count(recent.begin(), recent.end(), files[0]), 0) << "the oldest dropped";
    EXPECT_EQ(std::count(recent.begin(), recent.end(), files[6]), 0)
        << "a file gone is not offered";
    EXPECT_TRUE(ReadRecentFiles(dir.file("nowhere")).empty());
}

TEST(JobFiles, NewJobFromTheTemplateNamedAfterItNeverOverwrites) {
    TempDir dir;
    const std::string data = dir.file("data");
    std::string path, error;
    for (const char* bad : {"", "  ", "a/b", ".hidden"})
        EXPECT_FALSE(NewJobPath(data, bad, path, error)) << bad;
    ASSERT_TRUE(NewJobPath(data, " Line 3 ", path, error)) << error;
    EXPECT_EQ(path, data + "/Line 3.pelk");
    ASSERT_TRUE(NewJobPath(data, "plant.PELK", path, error)) << error;
    EXPECT_EQ(path, data + "/plant.PELK");

    const std::string shipped = std::string(PELKOR_SOURCE_DIR) + "/examples/" + NewJobTemplateName;
    ASSERT_TRUE(NewJobPath(data, "plant", path, error)) << error;
    ASSERT_TRUE(CreateJobFromTemplate(shipped, path, error)) << error;
    EXPECT_EQ(ReadProfileString(path, "Task1", "FileName", ""), "plant");
    EXPECT_EQ(ReadProfileString(path, "Task1", "Data", ""), "R 0 [4]");
    EXPECT_EQ(ReadProfileString(path, "Task1", "ReadInterval", ""), "10");

    std::ofstream(path, std::ios::trunc) << "mine";
    EXPECT_FALSE(NewJobPath(data, "plant", path, error));
    EXPECT_NE(error.find("exists already"), std::string::npos);
    EXPECT_FALSE(CreateJobFromTemplate(shipped, path, error)) << "a file made meanwhile is kept";
    EXPECT_EQ(ReadAll(path), "mine");
    EXPECT_FALSE(CreateJobFromTemplate(dir.file("no-template.pelk"), data + "/other.pelk", error));
    EXPECT_FALSE(std::filesystem::exists(data + "/other.pelk"));
}

} // namespace
} // namespace pelkor
