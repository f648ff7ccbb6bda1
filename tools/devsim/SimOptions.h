// The command line of tessal-devsim.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/devsim/DeviceSimulator.h"

struct TSimOptions {
    TSimConfig Config;
    std::string RulesPath; // empty: the example rules
    bool Help = false;
    bool Quiet = false;
    bool Register = true;
};

// The options, or the first mistake as a message for the user.
struct TSimOptionsResult {
    TSimOptions Options;
    std::optional<std::string> Error;
};

TSimOptionsResult ParseSimOptions(const std::vector<std::string>& Args);

// What --help prints.
std::string SimUsage();

// The rules file used without --rules.
std::string DefaultRulesPath();
