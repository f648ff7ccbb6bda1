// A capture of the standard error stream, for the loader's messages.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

class TStderrCapture {
public:
    TStderrCapture() : Saved(std::cerr.rdbuf(Captured.rdbuf())) {}
    ~TStderrCapture() { std::cerr.rdbuf(Saved); }
    TStderrCapture(const TStderrCapture&) = delete;
    TStderrCapture& operator=(const TStderrCapture&) = delete;

    std::string Text() const { return Captured.str(); }

private:
    std::ostringstream Captured;
    std::streambuf* Saved;
};
