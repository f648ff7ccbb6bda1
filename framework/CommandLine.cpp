#include "framework/CommandLine.h"

std::optional<std::string> ReadCommandLine(const std::vector<std::string>& Args,
                                           const std::map<std::string, TOptionFlag>& Flags,
                                           const std::map<std::string, TOptionSetter>& Valued,
                                           std::vector<std::string>* Words) {
    for (std::size_t i = 0; i < Args.size(); ++i) {
        std::string name = Args[i];
        if (Words && (!name.starts_with("-") || name == "-")) {
            Words->push_back(name);
            continue;
        }
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (const auto flag = Flags.find(name); flag != Flags.end() && !value) {
            flag->second();
            continue;
        }
        const auto setter = Valued.find(name);
        if (setter == Valued.end()) {
            return "unknown option " + Args[i];
        }
        if (!value) {
            if (i + 1 == Args.size()) {
                return name + " needs a value";
            }
            value = Args[++i];
        }
        if (!setter->second(*value)) {
            return "bad value for " + name + ": '" + *value + "'";
        }
    }
    return std::nullopt;
}
