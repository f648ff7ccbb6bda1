// A fresh directory per test, removed with everything in it afterwards; and a capture of the
// standard error stream for the loader's messages.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

class TTempDir {
public:
    TTempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tessal-app-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        Path = pattern;
    }
    ~TTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    std::string File(const std::string& name) const { return (Path / name).string(); }

    std::string Write(const std::string& name, const std::string& content) const {
        const std::string path = File(name);
        std::ofstream out(path, std::ios::binary);
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

    const std::filesystem::path& Dir() const { return Path; }

private:
    std::filesystem::path Path;
};

class TStderrCapture {
public:
    TStderrCapture() : Saved(std::cerr.rdbuf(Captured.rdbuf())) {}
    ~TStderrCapture() { std::cerr.rdbuf(Saved); }
    TStderrCapture(const TStderrCapture&) = delete;
    TStderrCapture& operator=(const TStderrCapture&) = delete;

    std::string Text() const { return Captured.str(); }

private:
    std::ostringstream Captured;
    std::streambuf* Saved;
};
