// Points the registry at a fresh directory for one test and removes it afterwards, so tests
// neither see nor touch the user's hives.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class TTempRegistry {
public:
    TTempRegistry() {
        char Template[] = "/tmp/tessal-settings-XXXXXX";
        const char* Made = mkdtemp(Template);
        EXPECT_NE(Made, nullptr);
        Dir = Made != nullptr ? Made : "";
        EXPECT_EQ(setenv("TESSAL_REGISTRY_DIR", Dir.c_str(), 1), 0);
    }
    ~TTempRegistry() {
        unsetenv("TESSAL_REGISTRY_DIR");
        std::error_code Ignored;
        std::filesystem::remove_all(Dir, Ignored);
    }
    TTempRegistry(const TTempRegistry&) = delete;
    TTempRegistry& operator=(const TTempRegistry&) = delete;

    std::string Dir;
};
