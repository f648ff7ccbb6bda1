// A fresh directory per test, removed with everything in it afterwards; and the same directory
// as the registry's (TESSAL_REGISTRY_DIR), so tests neither see nor touch the user's hives.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

class TTempDir {
public:
    explicit TTempDir(const std::string& Stem = "tessal-test") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (Stem + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed for " + pattern);
        }
        Path = pattern;
    }
    ~TTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Dir() const { return Path; }
    std::string File(const std::string& name) const { return (Path / name).string(); }

    std::string Write(const std::string& name, const std::string& content) const {
        const std::string path = File(name);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out.flush()) {
            throw std::runtime_error("cannot write " + path);
        }
        return path;
    }

    std::string Read(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }

private:
    std::filesystem::path Path;
};

class TTempRegistry : public TTempDir {
public:
    explicit TTempRegistry(const std::string& Stem = "tessal-registry") : TTempDir(Stem) {
        if (::setenv("TESSAL_REGISTRY_DIR", Dir().c_str(), 1) != 0) {
            throw std::runtime_error("cannot set TESSAL_REGISTRY_DIR");
        }
    }
    ~TTempRegistry() { ::unsetenv("TESSAL_REGISTRY_DIR"); }
};
