// The command line of tessal-cli. See CliUsage (--help).
#pragma once

#include <optional>
#include <string>
#include <vector>

enum TCliVerb : std::uint8_t { cvNone, cvSend, cvRun };
enum TOutputFormat : std::uint8_t { ofText, ofCsv, ofJsonl };

struct TCliOptions {
    TCliVerb Verb = cvNone;
    bool Help = false;
    bool Version = false;

    // The port: each one given overrides the stored settings.
    std::optional<std::string> Port;
    std::optional<std::string> Baud;
    std::optional<std::string> DataBits;
    std::optional<std::string> Parity;
    std::optional<std::string> StopBits;
    std::optional<std::string> Flow;
    std::optional<std::string> TslFile;

    std::optional<TOutputFormat> Format; // none: text on a terminal, else csv
    std::string JUnitFile;
    bool Progress = true;

    // send: the command, its parameters, and its clauses in the order given (name, value);
    // run: the script's path.
    std::string Command;
    std::string Params;
    std::vector<std::pair<std::string, std::string>> SendClauses;
    std::optional<std::string> Repeat;
    std::optional<std::string> Period;
    bool WaitAnswer = false;
    std::string Script;
};

struct TCliOptionsResult {
    TCliOptions Options;
    std::optional<std::string> Error;
};

TCliOptionsResult ParseCliOptions(const std::vector<std::string>& args);

std::string CliUsage();
