// The port component on a real line: bytes at each rate (a pty carries them too), and the modem
// lines, break, parity errors and CTS flow reaching its handlers and state.
#include "HardwareKit.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "port/device/PortTestKit.h"

namespace {

using namespace std::chrono_literals;

class PortOnWire : public ::testing::Test {
protected:
    void SetUp() override {
        HW_REQUIRE_LINE(Ends);
        Tx.SetPort(Ends.Sender);
        Rx = Ends.Loopback ? &Tx : &FarPort;
        Rx->SetPort(Ends.Receiver);
        for (TComPort* p : {&Tx, Rx}) {
            TComTimeouts t;
            t.SetReadInterval(200);
            t.SetReadTotalConstant(3000);
            t.SetWriteTotalConstant(10000);
            p->SetTimeouts(t);
            p->GetBuffer().SetInputSize(65536);
        }
        Rx->OnCTSChange = [this](TObject*, bool On) { Log.Add(On ? "CTS on" : "CTS off"); };
        Rx->OnDSRChange = [this](TObject*, bool On) { Log.Add(On ? "DSR on" : "DSR off"); };
        Rx->OnRLSDChange = [this](TObject*, bool On) { Log.Add(On ? "RLSD on" : "RLSD off"); };
        Rx->OnBreak = [this](TObject*) { Log.Add("Break"); };
        Rx->OnError = [this](TObject*, TComErrors E) {
            if (E.Contains(ceRxParity))
                Log.Add("Parity");
        };
    }
    void TearDown() override {
        for (TComPort* p : {&Tx, &FarPort}) {
            p->OnCTSChange = p->OnDSRChange = p->OnRLSDChange = nullptr;
            p->OnBreak = nullptr;
            p->OnError = nullptr;
            p->Close();
        }
    }
    void Open() {
        Tx.Open();
        if (Rx != &Tx)
            Rx->Open();
    }
    std::string RoundTrip(const std::string& Bytes) {
        EXPECT_EQ(Tx.WriteStr(Bytes), static_cast<std::int32_t>(Bytes.size()));
        std::string got, chunk;
        while (got.size() < Bytes.size() &&
               Rx->ReadStr(chunk, static_cast<std::int32_t>(Bytes.size() - got.size())) > 0)
            got += chunk;
        return got;
    }

    TWireEnds Ends;
    TComPort Tx, FarPort;
    TComPort* Rx = &FarPort;
    TEventLog Log;
};

} // namespace

TEST_F(PortOnWire, BytesCrossIntactAtEachRate) {
    Open();
    for (const TBaudRate rate : {br1200, br9600, br57600, br115200}) {
        Tx.SetBaudRate(rate);
        Rx->SetBaudRate(rate);
        Rx->ClearBuffer(true, false);
        std::string sent(64, '\0');
        for (std::size_t i = 0; i < sent.size(); ++i)
            sent[i] = static_cast<char>(i * 73 + rate);
        EXPECT_EQ(RoundTrip(sent), sent) << "rate " << int(rate);
        EXPECT_TRUE(Rx->LastErrors().Empty()) << "rate " << int(rate);
    }
}

TEST_F(PortOnWire, SignalsFollowTheFarEndAndRaiseTheirEvents) {
    HW_REQUIRE_REAL_LINE(Ends, "modem lines");
    Open();
    struct {
        void (TComPort::*Set)(bool);
        bool On;
        TComSignals Signals;
        const char* Events[2];
    } const cases[] = {
        {&TComPort::SetRTS, false, TComSignals{csCTS}, {"CTS off", nullptr}},
        {&TComPort::SetRTS, true, TComSignals{csCTS}, {"CTS on", nullptr}},
        {&TComPort::SetDTR, false, TComSignals{csDSR, csRLSD}, {"DSR off", "RLSD off"}},
        {&TComPort::SetDTR, true, TComSignals{csDSR, csRLSD}, {"DSR on", "RLSD on"}},
    };
    for (const auto& c : cases) {
        Log.Clear();
        (Tx.*c.Set)(c.On);
        EXPECT_TRUE(WaitServing([&] {
            const TComSignals now = Rx->Signals() * c.Signals;
            return c.On ? now == c.Signals : now.Empty();
        })) << c.Events[0];
        for (const char* e : c.Events) {
            if (e != nullptr) {
                EXPECT_TRUE(WaitServing([&] { return Log.Count(e) > 0; })) << e;
            }
        }
    }
}

TEST_F(PortOnWire, BreakReachesOnBreak) {
    HW_REQUIRE_REAL_LINE(Ends, "break");
    Open();
    Tx.SetBreak(true);
    std::this_thread::sleep_for(100ms); // the length of the break on the line
    Tx.SetBreak(false);
    EXPECT_TRUE(WaitServing([&] { return Log.Count("Break") > 0; }));
}

TEST_F(PortOnWire, ParityErrorsReachOnError) {
    HW_REQUIRE_REAL_LINE(Ends, "parity errors");
    HW_REQUIRE_PAIR(Ends, "parity errors");
    Tx.GetParity().SetBits(prEven);
    Rx->GetParity().SetBits(prOdd);
    Rx->GetParity().SetCheck(true);
    Open();
    Tx.WriteStr("\x55\xAA\x0F\xF0");
    EXPECT_TRUE(WaitServing([&] { return Log.Count("Parity") > 0; }));
}

TEST_F(PortOnWire, CtsFlowHoldsOutputUntilTheFarEndRaisesRts) {
    HW_REQUIRE_REAL_LINE(Ends, "hardware flow control");
    Tx.GetFlowControl().SetOutCTSFlow(true);
    Open();
    Rx->SetRTS(false);
    ASSERT_TRUE(WaitServing([&] { return !Tx.Signals().Contains(csCTS); }));
    const std::string sent(256, 'h');
    PAsync async = nullptr;
    InitAsync(async);
    Tx.WriteStrAsync(sent, async);
    EXPECT_TRUE(WaitServing([&] { return Tx.StateFlags().Contains(sfCTSHold); }));
    EXPECT_LT(Rx->InputCount(), 32) << "an adapter may hold a few bytes in its chip, no more";
    Rx->SetRTS(true);
    EXPECT_EQ(Tx.WaitForAsync(async), static_cast<std::int32_t>(sent.size()));
    DoneAsync(async);
    std::string got, chunk;
    while (got.size() < sent.size() &&
           Rx->ReadStr(chunk, static_cast<std::int32_t>(sent.size() - got.size())) > 0)
        got += chunk;
    EXPECT_EQ(got, sent);
}
