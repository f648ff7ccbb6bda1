// The programs' command lines: "--name value", "--name=value", flags, and plain words.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

using TOptionFlag = std::function<void()>;
// False when the value is not one the option takes.
using TOptionSetter = std::function<bool(const std::string&)>;

// Hands each option to its flag or setter. Plain words (and "-") go to Words; without Words they
// are unknown options. Returns the first mistake as a sentence, or nothing.
std::optional<std::string> ReadCommandLine(const std::vector<std::string>& Args,
                                           const std::map<std::string, TOptionFlag>& Flags,
                                           const std::map<std::string, TOptionSetter>& Valued,
                                           std::vector<std::string>* Words = nullptr);
