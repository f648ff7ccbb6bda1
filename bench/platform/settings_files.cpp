// Settings files under hostile sizes: an ini section of many keys (listing it, reading its last
// value, appending one more key) and a registry value many keys deep (creating the key, writing
// the value, reading it back through a fresh object). Each figure is the wall time of one call.
//
//   bench_settings_files [--keys N] [--depth N]     (defaults: 100000 keys, 2000 deep)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/inifile/IniFile.h"
#include "platform/registry/Registry.h"

namespace {

double Seconds(const std::function<void()>& Action) {
    const auto start = std::chrono::steady_clock::now();
    Action();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Report(const char* What, double S) {
    std::printf("%-44s %9.3f s\n", What, S);
}

[[noreturn]] void Die(const std::string& What) {
    std::fprintf(stderr, "bench_settings_files: %s\n", What.c_str());
    std::exit(1);
}

void BenchIni(const std::string& Dir, long Keys) {
    const std::string file = Dir + "/big.ini";
    {
        std::ofstream out(file, std::ios::binary);
        out << "[Big]\n";
        for (long i = 0; i < Keys; ++i)
            out << "Key" << i << "=Value" << i << "\n";
        out << "[After]\nOne=1\n";
    }
    std::printf("ini: one section of %ld keys, %ld bytes\n", Keys,
                static_cast<long>(std::filesystem::file_size(file)));
    TIniFile ini(file);
    std::size_t listed = 0;
    Report("ReadSection", Seconds([&] { listed = ini.ReadSection("Big").size(); }));
    std::string last;
    Report("ReadString of the last key",
           Seconds([&] { last = ini.ReadString("Big", "Key" + std::to_string(Keys - 1), ""); }));
    Report("WriteString appending a key", Seconds([&] { ini.WriteString("Big", "Added", "1"); }));
    if (listed != static_cast<std::size_t>(Keys) || last != "Value" + std::to_string(Keys - 1) ||
        ini.ReadSection("Big").size() != listed + 1)
        Die("the ini file did not read back as written");
}

void BenchRegistry(long Depth) {
    std::string path = "Software";
    for (long i = 1; i < Depth; ++i)
        path += "\\K" + std::to_string(i);
    std::printf("registry: one value %ld keys deep\n", Depth);
    TRegistry writer;
    Report("OpenKey creating the key", Seconds([&] {
               if (!writer.OpenKey(path, true))
                   Die("OpenKey failed");
           }));
    Report("WriteString", Seconds([&] { writer.WriteString("Deep", "value"); }));
    std::string read;
    Report("OpenKey and ReadString (fresh object)", Seconds([&] {
               TRegistry reader;
               if (!reader.OpenKey(path, false))
                   Die("the deep key is missing");
               read = reader.ReadString("Deep");
           }));
    if (read != "value")
        Die("the deep value did not read back");
    std::printf("hive file: %ld bytes\n",
                static_cast<long>(std::filesystem::file_size(HiveFilePath(HKEY_CURRENT_USER))));
}

} // namespace

int main(int argc, char** argv) {
    long keys = 100000;
    long depth = 2000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--keys") == 0)
            keys = std::atol(argv[i + 1]);
        else if (std::strcmp(argv[i], "--depth") == 0)
            depth = std::atol(argv[i + 1]);
        else
            Die(std::string("unknown option ") + argv[i]);
    }
    if (keys < 1 || depth < 1)
        Die("--keys and --depth take a positive number");
    char tmpl[] = "/tmp/tessal-bench-settings-XXXXXX";
    if (mkdtemp(tmpl) == nullptr)
        Die("mkdtemp failed");
    const std::string dir = tmpl;
    setenv("TESSAL_REGISTRY_DIR", dir.c_str(), 1);
    BenchIni(dir, keys);
    BenchRegistry(depth);
    std::filesystem::remove_all(dir);
    return 0;
}
