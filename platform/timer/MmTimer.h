// Periodic timer: a callback on a thread of its own, every Delay milliseconds.
//
// Schedule: tick n falls due at start + n * Delay on the steady clock, so ticks do not drift
// however long each callback takes. A callback that overruns makes the timer skip the slots it
// missed (the next tick comes at the next slot still ahead) instead of firing a burst.
// Resolution is accepted and not used: the thread sleeps until each slot.
//
// timeKillEvent stops the timer and waits for a callback in progress, so nothing of the timer
// runs after it returns; it may be called from any thread. Called from inside the timer's own
// callback it cannot wait for itself: it marks the timer killed and returns at once; the running
// callback is the last, and the thread ends when it returns. Because kill waits, a callback must
// never wait for the thread that kills it (a GUI thread killing the timer while a tick sits in
// Synchronize would wait forever): hand ticks to the GUI thread without waiting (Queue).
//
// An exception leaving a callback is written to the standard error stream; the timer goes on.
#pragma once

#include <cstdint>
#include <functional>

using TTimeCallback =
    std::function<void(std::uint32_t TimerID, std::uint32_t Msg, std::uintptr_t User,
                       std::uintptr_t Dw1, std::uintptr_t Dw2)>;

inline constexpr std::uint32_t TIME_ONESHOT = 0x0000;
inline constexpr std::uint32_t TIME_PERIODIC = 0x0001;
inline constexpr std::uint32_t TIME_CALLBACK_FUNCTION = 0x0000;
// Killing always waits for a running callback; the flag is accepted for that reason.
inline constexpr std::uint32_t TIME_KILL_SYNCHRONOUS = 0x0100;

inline constexpr std::uint32_t TIMERR_NOERROR = 0;
inline constexpr std::uint32_t MMSYSERR_INVALPARAM = 11;

inline constexpr std::uint32_t TimerMinDelay = 1;
inline constexpr std::uint32_t TimerMaxDelay = 1000000;

// The timer's id (never 0), or 0 when refused: Delay outside TimerMinDelay..TimerMaxDelay, an
// empty callback, an unknown flag, or no thread to be had. User is passed to the callback.
std::uint32_t timeSetEvent(std::uint32_t Delay, std::uint32_t Resolution, TTimeCallback Callback,
                           std::uintptr_t User, std::uint32_t Flags);
// TIMERR_NOERROR, or MMSYSERR_INVALPARAM for an id that is not a running timer (a one-shot
// timer that has fired is no longer one).
std::uint32_t timeKillEvent(std::uint32_t TimerID);
