// Hidden windows: a handle with a message method, served on the GUI thread through the GUI
// queue (Synchronize.h), in arrival order with queued calls.
//
// SendMessage from the GUI thread calls the method at once. From another thread it queues the
// message and blocks until the method calls ReplyMessage or returns (the reply's value, or
// Message.Result, is returned). PostMessage queues and returns at once. DeallocateHWnd drops
// messages still queued for the window: posted ones are discarded, senders return 0. Handles are
// never reused, so a stale handle is just invalid (SendMessage gives 0, PostMessage false).
// An exception leaving a message method goes to Application->HandleException.
#pragma once

#include <cstdint>
#include <functional>

using HWND = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// First message number free for private use.
inline constexpr std::uint32_t WM_USER = 0x0400;

struct TMessage {
    std::uint32_t Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

using TWndMethod = std::function<void(TMessage& Message)>;

// The window belongs to the GUI thread; allocate and deallocate it there.
HWND AllocateHWnd(TWndMethod Method);
void DeallocateHWnd(HWND Wnd);
bool IsWindow(HWND Wnd);

LRESULT SendMessage(HWND Wnd, std::uint32_t Msg, WPARAM WParam, LPARAM LParam);
bool PostMessage(HWND Wnd, std::uint32_t Msg, WPARAM WParam, LPARAM LParam);

// Inside a message method: releases the thread that sent the message with Result, while the
// method goes on. True when there was such a sender waiting (a message sent from another
// thread, not yet replied to).
bool ReplyMessage(LRESULT Result);
// Inside a message method: true when the message was sent from another thread.
bool InSendMessage();

// The default handling of messages a method does not know: none, result 0.
LRESULT DefWindowProc(HWND Wnd, std::uint32_t Msg, WPARAM WParam, LPARAM LParam);
