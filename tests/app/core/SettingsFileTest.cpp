#include "common/CrashPoints.h"
#include "tests/common/TempDir.h"

#include "app/core/SettingsFile.h"

#include <gtest/gtest.h>

#include <optional>
#include <sys/stat.h>

namespace {

int Temporaries(const TTempDir& Dir) {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Dir.Dir())) {
        n += entry.path().filename().string().find(".tmp.") != std::string::npos;
    }
    return n;
}

// The loader killed while it writes tessal.ini: the next start finds the old line or the new
// one, never an empty or partial file; the next write leaves no temporary behind.
TEST(SettingsFileTest, KilledWriteLeavesTheOldLineOrTheNew) {
    const std::optional<std::string> initials[] = {std::nullopt, "/old/cmds.tsl\r\n"};
    for (const std::optional<std::string>& initial : initials) {
        TTempDir dir;
        const std::string path = dir.File(kSettingsFileName);
        const auto reset = [&] {
            std::filesystem::remove(path);
            if (initial) {
                dir.Write(kSettingsFileName, *initial);
            }
        };
        const auto current = [&]() -> std::optional<std::string> {
            if (!std::filesystem::exists(path)) {
                return std::nullopt;
            }
            return dir.Read(kSettingsFileName);
        };
        const std::string written = "/new/cmds.tsl\r\n";
        reset();
        int sawOld = 0, sawNew = 0, sawTemporaries = 0;
        const int killed = ForEachCrashPoint(
            [&] {
                if (!WriteSettingsFile(dir.Dir().string(), "/new/cmds.tsl")) {
                    throw std::runtime_error("write failed");
                }
            },
            [&](bool) {
                const std::optional<std::string> now = current();
                sawOld += now == initial;
                sawNew += now == written;
                EXPECT_TRUE(now == initial || now == written) << (now ? *now : "(no file)");
                sawTemporaries += Temporaries(dir) > 0;
                EXPECT_TRUE(WriteSettingsFile(dir.Dir().string(), "/new/cmds.tsl"));
                EXPECT_EQ(current(), written);
                EXPECT_EQ(Temporaries(dir), 0);
                reset();
            });
        EXPECT_GE(killed, 3);
        EXPECT_GT(sawOld, 0);
        EXPECT_GT(sawNew, 0);
        EXPECT_GT(sawTemporaries, 0);
    }
}

TEST(SettingsFileTest, ReplacementKeepsAnExistingModeAndMakesNewFilesReadable) {
    TTempDir dir;
    const std::string path = dir.File(kSettingsFileName);
    const mode_t mask = ::umask(022);
    ASSERT_TRUE(WriteSettingsFile(dir.Dir().string(), "a.tsl"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    ASSERT_TRUE(WriteSettingsFile(dir.Dir().string(), "b.tsl"));
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    EXPECT_EQ(ReadSettingsFile(path), "b.tsl");
    ::umask(mask);
}

} // namespace
