// Shared by the fuzz targets: a private scratch directory for targets that must read files, and
// a check that stops the run with a message the fuzzer keeps beside the crashing input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

// A broken property is reported like a crash, so libFuzzer saves the input that broke it.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);          \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// One directory per process, in memory where the system offers it (files are rewritten on every
// input), removed at exit.
class TFuzzScratch {
public:
    TFuzzScratch() {
        const std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "tessal-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        Dir = pattern;
    }
    ~TFuzzScratch() {
        std::error_code ignored;
        std::filesystem::remove_all(Dir, ignored);
    }
    TFuzzScratch(const TFuzzScratch&) = delete;
    TFuzzScratch& operator=(const TFuzzScratch&) = delete;

    std::string File(const std::string& Name) const { return (Dir / Name).string(); }

    std::string Write(const std::string& Name, std::string_view Content) const {
        const std::string Path = File(Name);
        std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
        Out.write(Content.data(), static_cast<std::streamsize>(Content.size()));
        if (!Out.flush()) {
            std::fprintf(stderr, "cannot write %s\n", Path.c_str());
            std::abort();
        }
        return Path;
    }

    const std::filesystem::path& Path() const { return Dir; }

private:
    std::filesystem::path Dir;
};

// Splits the input at the first occurrences of a separator: the parts before it and the rest.
inline std::string_view TakeUntil(std::string_view& Data, char Separator) {
    const std::size_t At = Data.find(Separator);
    if (At == std::string_view::npos) {
        const std::string_view All = Data;
        Data = {};
        return All;
    }
    const std::string_view Part = Data.substr(0, At);
    Data.remove_prefix(At + 1);
    return Part;
}
