// Loads 10 MB command-definition files of three kinds and prints how long each took and what
// became of it. Goal: loaded or refused within one second.
//
//   build/bench/bench_command_file_load [megabytes=10]
#include "app/core/CommandDefinitions.h"
#include "app/core/HexText.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

int main(int argc, char** argv) {
    const std::size_t size = (argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10) << 20;
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("tessal-bench-" + std::to_string(::getpid()) + ".tsl");
    struct TKind {
        const char* What;
        std::function<std::string()> Content;
    };
    const std::vector<TKind> kinds = {
        {"definitions",
         [&] {
             std::string text;
             for (int i = 0; text.size() < size; ++i) {
                 text += "#define CMD" + std::to_string(i) + " " + std::to_string(i % 100) +
                         " // parameters of " + std::to_string(i) + "\r\n";
             }
             return text;
         }},
        {"255 commands among remarks",
         [&] {
             std::string text;
             for (int i = 0; text.size() < size; ++i) {
                 text += i % 400 == 0 && i / 400 < 255
                             ? "#define CMD" + std::to_string(i) + " 0x" +
                                   hex2(static_cast<std::uint8_t>(i / 400)) + " // parameters\r\n"
                             : "a remark line of the kind a long file carries, number " +
                                   std::to_string(i) + "\r\n";
             }
             return text;
         }},
        {"one endless line", [&] { return "#define LONG 01 //" + std::string(size, 'x'); }},
        {"comment before a definition",
         [&] { return "#cmdcomment " + std::string(size, 'y') + "\n#define A 01\n"; }},
        {"binary garbage",
         [&] {
             std::string text(size, '\0');
             std::uint32_t x = 12345;
             for (char& c : text) {
                 x = x * 1103515245u + 12345u;
                 c = static_cast<char>(x >> 24);
             }
             return text;
         }},
    };
    std::printf("%-30s %10s %12s %10s\n", "file", "MB", "load ms", "commands");
    for (const TKind& kind : kinds) {
        const std::string content = kind.Content();
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        TCommandDefinitions definitions(std::filesystem::temp_directory_path().string());
        const auto start = std::chrono::steady_clock::now();
        const TLoadOutcome outcome = definitions.LoadCommandFile(path.string());
        const auto ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        std::printf("%-30s %10.1f %12.1f %10zu  %s\n", kind.What, content.size() / 1048576.0, ms,
                    definitions.GetCommandList().size(),
                    outcome.StatusText.value_or("(no status)").c_str());
        std::fflush(stdout);
    }
    std::filesystem::remove(path);
    return 0;
}
