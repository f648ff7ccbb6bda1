// Every row of the run on the standard output as it comes, in one of three formats, all from the
// export's one rendering of a row (ExportRow): text (aligned columns), csv (the export's file
// format) or jsonl (one JSON object a line; field names in the README).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/core/FrameRows.h"
#include "tools/tessal-cli/CliOptions.h"

class TRowPrinter {
public:
    // terminal: the output is read as it comes, so every row is flushed.
    TRowPrinter(TOutputFormat format, std::FILE* out, bool terminal);
    void Row(const TFrameRows& rows, std::int32_t row);
    void Finish();

private:
    TOutputFormat Format;
    std::FILE* Out;
    bool Terminal;
    bool HeaderDone = false;
    std::string Line;
};

// A JSON string literal of Latin-1 text (the command file's bytes), quotes included.
std::string JsonString(std::string_view text);
