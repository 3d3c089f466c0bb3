#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "client/app/IGuiThread.h"
#include "kestra/Exceptions.h"

namespace testsupport {

// What every IGuiThread promises, checked the same way for each of them: work posted from
// another thread runs on the GUI thread in order; a job that throws is logged and the
// loop goes on; work posted after quit() or after the loop ended never runs, and a post
// after the end says so. runLoop returns once the loop has ended (the Qt thread runs
// exec() there); pump handles what the toolkit still holds afterwards.
inline void checkGuiThreadContract(IGuiThread& gui, std::thread::id guiThreadId,
                                   const std::function<void()>& runLoop,
                                   const std::function<void()>& pump) {
    constexpr int JOBS = 200;
    std::mutex mutex;
    std::vector<int> order;
    std::atomic<int> elsewhere{0};
    std::atomic<int> late{0};
    std::thread worker([&] {
        for (int i = 0; i < JOBS; ++i) {
            EXPECT_TRUE(gui.post([&, i] {
                if (std::this_thread::get_id() != guiThreadId) {
                    ++elsewhere;
                }
                std::lock_guard<std::mutex> guard(mutex);
                order.push_back(i);
            }));
            if (i == 50) {
                gui.post([] { throw std::runtime_error("job fifty"); });
            }
            if (i == 60) {
                gui.post([] { throw kestra::GUIModifyException("Window", "gone"); });
            }
        }
        gui.quit();
        gui.post([&] { ++late; });  // behind the quit: dropped
    });
    runLoop();
    worker.join();
    EXPECT_FALSE(gui.isRunning());
    EXPECT_FALSE(gui.post([&] { ++late; })) << "a post after the end is refused";
    pump();
    EXPECT_EQ(late.load(), 0) << "work behind the quit or after the end never runs";
    EXPECT_EQ(elsewhere.load(), 0) << "posted work runs on the GUI thread";
    std::vector<int> expected(JOBS);
    for (int i = 0; i < JOBS; ++i) {
        expected[i] = i;
    }
    std::lock_guard<std::mutex> guard(mutex);
    EXPECT_EQ(order, expected) << "all work before the quit ran, in order, past the failures";
}

}  // namespace testsupport
