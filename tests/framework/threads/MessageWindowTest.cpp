#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "framework/Application.h"
#include "framework/MessageWindow.h"
#include "framework/Synchronize.h"
#include "tests/common/ServeUntil.h"

namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t WM_PORT = WM_USER + 1;

// The event thread's path: it sends, the method replies at once and goes on working; the sender
// must be released by the reply, not by the method's end.
TEST(MessageWindow, SendFromAnotherThreadReturnsAtTheReply) {
    std::promise<LRESULT> senderResult;
    auto senderDone = senderResult.get_future();
    bool sawSendFlag = false;
    bool senderBackBeforeMethodEnded = false;
    HWND wnd = AllocateHWnd([&](TMessage& M) {
        if (M.Msg != WM_PORT) {
            M.Result = DefWindowProc(wnd, M.Msg, M.WParam, M.LParam);
            return;
        }
        sawSendFlag = InSendMessage();
        EXPECT_TRUE(ReplyMessage(static_cast<LRESULT>(M.WParam) + 1));
        EXPECT_FALSE(ReplyMessage(99)) << "a second reply has nobody to release";
        senderBackBeforeMethodEnded = senderDone.wait_for(10s) == std::future_status::ready;
        M.Result = 1000;
    });
    std::thread sender([&] { senderResult.set_value(SendMessage(wnd, WM_PORT, 0x0080, 0)); });
    ASSERT_TRUE(ServeUntil([&] { return senderBackBeforeMethodEnded; }));
    sender.join();
    EXPECT_TRUE(sawSendFlag);
    EXPECT_EQ(senderDone.get(), 0x81);

    // Sent on the GUI thread: a direct call, not a send from another thread.
    bool inSend = true;
    HWND direct = AllocateHWnd([&](TMessage& M) {
        inSend = InSendMessage();
        EXPECT_FALSE(ReplyMessage(1));
        M.Result = 5;
    });
    EXPECT_EQ(SendMessage(direct, WM_PORT, 0, 0), 5);
    EXPECT_FALSE(inSend);
    DeallocateHWnd(direct);
    DeallocateHWnd(wnd);
}

TEST(MessageWindow, SenderGetsTheResultWhenTheMethodReturnsWithoutReplying) {
    HWND wnd = AllocateHWnd([](TMessage& M) { M.Result = static_cast<LRESULT>(M.LParam) * 2; });
    std::atomic<LRESULT> got{0};
    std::thread sender([&] { got = SendMessage(wnd, WM_PORT, 0, 21); });
    ASSERT_TRUE(ServeUntil([&] { return got.load() != 0; }));
    sender.join();
    EXPECT_EQ(got.load(), 42);
    DeallocateHWnd(wnd);
}

TEST(MessageWindow, PostedMessagesKeepTheirOrderAndDieWithTheWindow) {
    std::vector<WPARAM> seen;
    HWND wnd = AllocateHWnd([&](TMessage& M) { seen.push_back(M.WParam); });
    std::thread([&] {
        for (WPARAM i = 1; i <= 3; ++i)
            EXPECT_TRUE(PostMessage(wnd, WM_PORT, i, 0));
    }).join();
    CheckSynchronize(0);
    EXPECT_EQ(seen, (std::vector<WPARAM>{1, 2, 3}));

    std::thread([&] { PostMessage(wnd, WM_PORT, 4, 0); }).join();
    DeallocateHWnd(wnd);
    EXPECT_FALSE(CheckSynchronize(0));
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_FALSE(PostMessage(wnd, WM_PORT, 5, 0));
    EXPECT_EQ(SendMessage(wnd, WM_PORT, 5, 0), 0);
}

TEST(MessageWindow, PendingSendToADeallocatedWindowReturnsZero) {
    bool called = false;
    HWND wnd = AllocateHWnd([&](TMessage& M) {
        called = true;
        M.Result = 7;
    });
    // Wait for the send to be queued without serving it.
    std::promise<void> queued;
    auto isQueued = queued.get_future();
    SetWakeMainThread([&] { queued.set_value(); });
    std::promise<LRESULT> result;
    std::thread sender([&] { result.set_value(SendMessage(wnd, WM_PORT, 0, 0)); });
    ASSERT_EQ(isQueued.wait_for(10s), std::future_status::ready);
    SetWakeMainThread(nullptr);
    DeallocateHWnd(wnd);
    auto f = result.get_future();
    ASSERT_EQ(f.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(f.get(), 0);
    sender.join();
    EXPECT_FALSE(called);
}

TEST(MessageWindow, ExceptionInAMethodIsReportedAndReleasesTheSender) {
    std::string reported;
    Application->OnException = [&](TObject*, const std::exception_ptr& E) {
        try {
            std::rethrow_exception(E);
        } catch (const std::exception& e) {
            reported = e.what();
        }
    };
    HWND wnd = AllocateHWnd([](TMessage&) { throw std::runtime_error("handler failed"); });
    std::atomic<bool> back{false};
    std::thread sender([&] {
        EXPECT_EQ(SendMessage(wnd, WM_PORT, 0, 0), 0);
        back = true;
    });
    ASSERT_TRUE(ServeUntil([&] { return back.load(); }));
    sender.join();
    Application->OnException = nullptr;
    EXPECT_EQ(reported, "handler failed");
    DeallocateHWnd(wnd);
}

} // namespace
