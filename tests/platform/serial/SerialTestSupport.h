// Helpers shared by the driver's tests: an openpty pair, an overlapped record, descriptor counts.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/serial/SerialDriver.h"

// A pty pair: the test drives Master directly, the driver opens SlavePath.
struct TPtyPair {
    int Master = -1;
    int Slave = -1; // kept open so that the slave survives the driver's close
    std::string SlavePath;
    TPtyPair();
    ~TPtyPair();
    void CloseMaster();
    // Raw bytes on the master side, blocking with a bound.
    void Send(const void* Data, std::size_t Count);
    std::string Receive(std::size_t Count, int TimeoutMs = 5000);
};

struct TOv {
    OVERLAPPED Ov;
    TOv() { Ov.Event = CreateSyncEvent(true, true); }
    OVERLAPPED* operator&() { return &Ov; }
    bool Wait(std::uint32_t Ms) { return WaitForSyncEvent(Ov.Event, Ms) == 0; }
};

int OpenDescriptorCount();
double ThreadCpuSeconds();

COMMTIMEOUTS Timeouts(std::uint32_t Interval, std::uint32_t Multiplier, std::uint32_t Constant,
                      std::uint32_t WriteMultiplier = 0, std::uint32_t WriteConstant = 0);

// A DCB for 8N1 at Baud with no flow control and DTR/RTS on.
DCB PlainDcb(std::uint32_t Baud = 115200);

double MedianMs(std::vector<double> Samples);
