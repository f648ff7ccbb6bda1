// A directory of its own for a benchmark that runs the workbench window: the current directory,
// the settings hive (TESSAL_REGISTRY_DIR), a command file of one command and the tessal.ini that
// names it, and the port settings a previous run would have left for Port. Removed at the end.
#pragma once

#include "app/window/Tessalmain.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>

#include <stdlib.h>

class TWorkbenchDir {
public:
    explicit TWorkbenchDir(const std::string& tag) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / ("tessal-" + tag + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "mkdtemp");
        }
        Dir = pattern;
        std::filesystem::current_path(Dir);
        ::setenv("TESSAL_REGISTRY_DIR", Dir.c_str(), 1);
        std::ofstream(Dir / "device.tsl") << "#define PING 00\n#operationcode\n#define ACK 05\n";
        std::ofstream(Dir / "tessal.ini") << (Dir / "device.tsl").string() << "\r\n";
    }
    ~TWorkbenchDir() {
        std::error_code ignored;
        std::filesystem::current_path("/", ignored);
        std::filesystem::remove_all(Dir, ignored);
    }
    TWorkbenchDir(const TWorkbenchDir&) = delete;
    TWorkbenchDir& operator=(const TWorkbenchDir&) = delete;

    // So the window starts on Port without asking for settings.
    static void StorePort(const std::string& port) {
        TComPort stored;
        stored.SetName("ComPort");
        stored.SetPort(port);
        stored.StoreSettings(stRegistry, kPortSettingsKey);
    }

    // The window shown on Options' port; none (and the reason on stderr) when the port did not
    // open.
    static std::unique_ptr<TTessalForm> OpenWindow(const TTessalOptions& options) {
        auto form = std::make_unique<TTessalForm>(options);
        form->show();
        QCoreApplication::processEvents();
        if (!form->Port().GetConnected()) {
            std::fprintf(stderr, "the window did not open %s\n", options.PortName.c_str());
            return nullptr;
        }
        return form;
    }

    std::filesystem::path Dir;
};
