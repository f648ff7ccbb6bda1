// The port's settings as named values, group by group, independent of the medium that holds
// them. Groups go in a fixed order (basic, others, parity, buffer, timeouts, flow control) so
// that a loaded combined flow-control value is overridden by the individual values after it.
#pragma once

#include <cstdint>
#include <string>

class TCustomComPort;

class TSettingsWriter {
public:
    virtual ~TSettingsWriter() = default;
    virtual void WriteText(const std::string& Name, const std::string& Value) = 0;
    virtual void WriteInteger(const std::string& Name, std::int32_t Value) = 0;
};

// Default is what a medium with defaults gives for a missing value; a medium without them
// decides on its own (empty text, or an error for an integer).
class TSettingsReader {
public:
    virtual ~TSettingsReader() = default;
    virtual bool HasValue(const std::string& Name) = 0;
    virtual std::string ReadText(const std::string& Name, const std::string& Default) = 0;
    virtual std::int32_t ReadInteger(const std::string& Name, std::int32_t Default) = 0;
};

// The groups in the port's StoredProps, each value handed to the port's setter as soon as it
// is read, so later values see the effects of earlier ones.
void WritePortSettings(const TCustomComPort& Port, TSettingsWriter& Writer);
void ReadPortSettings(TCustomComPort& Port, TSettingsReader& Reader);
