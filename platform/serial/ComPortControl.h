// The client's side of telnet com port control (RFC 2217) without a socket: what to send for a
// line state, and what the server's commands mean. Bytes to send are appended to an output
// string the caller writes out; received bytes are fed through Receive.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string>

#include "platform/serial/SerialBackend.h"
#include "platform/serial/TelnetReader.h"

namespace rfc2217 {
// Client-to-server commands; the server answers with the same command + 100.
inline constexpr std::uint8_t SET_BAUDRATE = 1, SET_DATASIZE = 2, SET_PARITY = 3, SET_STOPSIZE = 4,
                              SET_CONTROL = 5, NOTIFY_LINESTATE = 6, NOTIFY_MODEMSTATE = 7,
                              FLOWCONTROL_SUSPEND = 8, FLOWCONTROL_RESUME = 9,
                              SET_LINESTATE_MASK = 10, SET_MODEMSTATE_MASK = 11, PURGE_DATA = 12;
inline constexpr std::uint8_t ServerOffset = 100;
// SET-CONTROL values.
inline constexpr std::uint8_t FLOW_QUERY = 0, FLOW_NONE = 1, FLOW_XONXOFF = 2, FLOW_HARDWARE = 3,
                              BREAK_ON = 5, BREAK_OFF = 6, DTR_ON = 8, DTR_OFF = 9, RTS_ON = 11,
                              RTS_OFF = 12;
// NOTIFY-LINESTATE bits.
inline constexpr std::uint8_t LS_OVERRUN = 0x02, LS_PARITY = 0x04, LS_FRAMING = 0x08,
                              LS_BREAK = 0x10;
} // namespace rfc2217

// The answer to one kind of setting: the value the server last reported and how many answers
// of the kind have come. A waiter notes Count before it asks and waits for it to move.
struct TComPortAnswer {
    std::uint32_t Value = 0;
    std::uint32_t Count = 0;
};

class TComPortControl : private TTelnetReader::THandler {
public:
    enum TAnswerKind : std::uint8_t {
        akBaud,
        akDataSize,
        akParity,
        akStopSize,
        akFlow,
        akBreak,
        akDtr,
        akRts,
        akPurge,
        akCount
    };

    // The options asked for at the start: binary both ways, suppress go-ahead, com port control.
    void Start(std::string& Out);
    // Data bytes of In go to Data (may be In); replies to the server are appended to Out.
    std::size_t Receive(const std::uint8_t* In, std::size_t N, std::uint8_t* Data,
                        std::string& Out);

    // Whether the server agreed to com port control, or refused it.
    bool Accepted() const { return us_[telnet::COM_PORT]; }
    bool Refused() const { return refused_; }

    static void Command(std::string& Out, std::uint8_t Code, const std::uint8_t* Value,
                        std::size_t Count);
    static void Command(std::string& Out, std::uint8_t Code, std::uint8_t Value) {
        Command(Out, Code, &Value, 1);
    }
    // The line state as settings requests (rate, frame, flow control), each answered.
    static void AskLine(std::string& Out, const DCB& State);
    static void AskRate(std::string& Out, std::uint32_t Rate);
    // A record with what the server reported; Base gives the fields it does not report.
    DCB AnsweredLine(const DCB& Base) const;
    using TAnswerCounts = std::array<std::uint32_t, akCount>;
    TAnswerCounts Counts() const;
    // Whether every setting of AskLine has been answered since Before (Counts before asking),
    // and whether the answers are what State asked for.
    bool LineAnswered(const TAnswerCounts& Before) const;
    bool LineMatches(const DCB& State) const;

    const TComPortAnswer& Answer(TAnswerKind Kind) const { return answers_[Kind]; }
    // MS_* bits from the last modem state notification.
    std::uint32_t ModemStatus() const { return modemState_ & 0xF0; }
    const TLineCounters& Counters() const { return counters_; }
    // The server asked us to hold our output (FLOWCONTROL-SUSPEND until -RESUME).
    bool Suspended() const { return suspended_; }

    static std::uint8_t ParityCode(std::uint8_t DcbParity);
    static std::uint8_t StopCode(std::uint8_t DcbStopBits);
    static std::uint8_t FlowCode(const DCB& State);

private:
    void Negotiate(std::uint8_t Verb, std::uint8_t Option) override;
    void Subnegotiation(const std::uint8_t* Data, std::size_t Count, bool Truncated) override;
    static void Send(std::string& Out, std::uint8_t Verb, std::uint8_t Option);
    static bool Wanted(std::uint8_t Option);
    void Record(TAnswerKind Kind, std::uint32_t Value);

    TTelnetReader reader_;
    std::string* out_ = nullptr;           // during Receive
    std::bitset<256> us_, them_;           // options in force on our side, on the server's
    std::bitset<256> usAsked_, themAsked_; // asked for, not yet answered
    bool refused_ = false;
    TComPortAnswer answers_[akCount];
    std::uint8_t modemState_ = 0;
    TLineCounters counters_;
    bool suspended_ = false;
};
