// Reads a text file line by line for the command-definition loader and the settings file.
// A line ends with LF or CR LF, neither of which belongs to it; the last line counts without a
// line end. Bounded whatever the file holds: characters beyond the line limit are dropped up to
// the line end (no extra lines are made of them), and a NUL byte ends the line's text as it would
// a C string. Only regular files are read, so a FIFO or a device path cannot block or never end.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class TLineReader {
public:
    // Throws std::system_error when the path cannot be opened or is not a regular file.
    TLineReader(const std::string& path, std::size_t maxLineLength);
    ~TLineReader();
    TLineReader(const TLineReader&) = delete;
    TLineReader& operator=(const TLineReader&) = delete;

    // False at the end of the file. Throws std::system_error when reading fails.
    bool Next(std::string& line);

private:
    bool Fill();
    void Append(std::string& line, char ch);

    int Fd = -1;
    std::size_t MaxLineLength;
    std::vector<char> Buffer;
    std::size_t Pos = 0;
    std::size_t Filled = 0;
    bool SawNul = false;
};
