// A file written whole or not at all: the text goes to a temporary file beside the target, which
// replaces the target only at Commit. Dropped unfinished (Abandon, a failure, or destruction), it
// leaves nothing behind and the target as it was.
#pragma once

#include <string>
#include <string_view>

class TExportFile {
public:
    explicit TExportFile(std::string path);
    ~TExportFile();
    TExportFile(const TExportFile&) = delete;
    TExportFile& operator=(const TExportFile&) = delete;

    // Each false return says why in error ("Cannot write /tmp/x.csv: No space left on device"),
    // and the temporary file is gone.
    bool Open(std::string& error);
    bool Write(std::string_view text, std::string& error);
    bool Commit(std::string& error);
    void Abandon();

private:
    bool Failed(const char* what, std::string& error);

    std::string Path;
    std::string TempPath;
    int Fd = -1;
};
