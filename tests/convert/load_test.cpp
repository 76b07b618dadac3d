// Many conversions at once, on threads and in separate processes sharing one temporary folder,
// give exactly the files that one-at-a-time conversion gives, and leave no temporary file.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "convert/torvenquill.h"
#include "tests/support/test_support.h"

namespace {

struct TargetRow {
    const char* extension;
    int32_t (*convert)(const char* source, const char* target);
};

// The ten targets with the options the window passes.
const TargetRow kTargets[] = {
    {"jpg", [](const char* s, const char* t) { return ConvertToJpg(s, t, 0, 99, 1, 50); }},
    {"bmp", [](const char* s, const char* t) { return ConvertToBmp(s, t); }},
    {"tif", [](const char* s, const char* t) { return ConvertToTif(s, t, 0); }},
    {"png", [](const char* s, const char* t) { return ConvertToPng(s, t, 24); }},
    {"ppm", [](const char* s, const char* t) { return ConvertToPpm(s, t, 1); }},
    {"pgm", [](const char* s, const char* t) { return ConvertToPgm(s, t, 1); }},
    {"pbm", [](const char* s, const char* t) { return ConvertToPbm(s, t, 1); }},
    {"pcx", [](const char* s, const char* t) { return ConvertToPcx(s, t); }},
    {"pic", [](const char* s, const char* t) { return ConvertToPic(s, t); }},
    {"sgi", [](const char* s, const char* t) { return ConvertToSgi(s, t); }},
};
constexpr int kTargetCount = sizeof kTargets / sizeof kTargets[0];

class LoadTest : public testing::Test {
protected:
    void SetUp() override {
        // Mixed sources: our BMP, and the same picture as JPEG, PNG, TIFF and PCX.
        RasterImage picture;
        WriteTestBmp(dir.File("src.bmp"), 97, 61, picture);
        sources.push_back(dir.File("src.bmp"));
        for (int i : {0, 2, 3, 7}) {
            std::string path = dir.File(std::string("src.") + kTargets[i].extension);
            ASSERT_EQ(kTargets[i].convert(sources[0].c_str(), path.c_str()), 1) << path;
            sources.push_back(path);
        }
        for (size_t s = 0; s < sources.size(); ++s) {
            for (int t = 0; t < kTargetCount; ++t) {
                std::string out = dir.File(Name(s, t, "ref-"));
                ASSERT_EQ(kTargets[t].convert(sources[s].c_str(), out.c_str()), 1) << out;
                reference[std::make_pair(s, t)] = ReadFileBytes(out);
            }
        }
    }
    void TearDown() override { EXPECT_TRUE(temp.Leftovers().empty()); }
    static std::string Name(size_t source, int target, const char* prefix = "") {
        std::string name = prefix;
        name += std::to_string(source);
        name += '.';
        name += kTargets[target].extension;
        return name;
    }
    static std::string JobName(int job, size_t source, int target) {
        std::string name = "job";
        name += std::to_string(job);
        name += '-';
        name += Name(source, target);
        return name;
    }

    PrivateTempFolder temp;
    ScratchDir dir;
    std::vector<std::string> sources;
    std::map<std::pair<size_t, int>, Bytes> reference;
};

}  // namespace

TEST_F(LoadTest, TwoHundredConversionsOnSixteenThreads) {
    constexpr int kJobs = 200;
    constexpr int kThreads = 16;
    std::atomic<int> next{0};
    std::vector<int32_t> results(kJobs, 0);
    auto job = [&](int i) {
        size_t s = size_t(i) % sources.size();
        int t = (i / int(sources.size())) % kTargetCount;
        std::string out = dir.File(JobName(i, s, t));
        results[i] = kTargets[t].convert(sources[s].c_str(), out.c_str());
    };
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([&] {
            for (int i = next++; i < kJobs; i = next++) job(i);
        });
    }
    for (auto& th : threads) th.join();
    for (int i = 0; i < kJobs; ++i) {
        size_t s = size_t(i) % sources.size();
        int t = (i / int(sources.size())) % kTargetCount;
        ASSERT_EQ(results[i], 1) << i;
        EXPECT_EQ(ReadFileBytes(dir.File(JobName(i, s, t))), reference[std::make_pair(s, t)])
            << "job " << i << " " << Name(s, t);
    }
}

TEST_F(LoadTest, SeveralProcessesShareOneTemporaryFolder) {
    // Four shells, each running the CLI for every target of one source, all at once.
    std::string script;
    for (size_t s = 0; s < 4; ++s) {
        script += "( ";
        for (int t = 0; t < kTargetCount; ++t) {
            for (const std::string& word : {CliPath(), sources[s], dir.File(Name(s, t, "cli-"))}) {
                script += '\'';
                script += word;
                script += "' ";
            }
            script += "&& ";
        }
        script += "true ) & ";
    }
    script += "wait";
    CommandResult r = RunProgram({"/bin/sh", "-c", script}, {"TMPDIR=" + temp.Path()});
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.errors, "");
    for (size_t s = 0; s < 4; ++s) {
        for (int t = 0; t < kTargetCount; ++t) {
            EXPECT_EQ(ReadFileBytes(dir.File(Name(s, t, "cli-"))), reference[std::make_pair(s, t)]) << Name(s, t);
        }
    }
}
