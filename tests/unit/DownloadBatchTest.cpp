#include "library/logic/DownloadBatch.h"

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

namespace nuv {
namespace {

// A folder in memory: each download writes its address's last letter into its file.
struct BatchRun {
    std::mutex mutex;
    std::map<std::string, std::string> folder;
    std::vector<std::size_t> order;
    std::atomic<int> running{0}, mostAtOnce{0};
};

void Download(BatchRun& run, const std::vector<std::string>& addresses, const std::vector<std::string>& files,
              std::size_t i) {
    const int now = ++run.running;
    for (int seen = run.mostAtOnce; now > seen && !run.mostAtOnce.compare_exchange_weak(seen, now);) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    --run.running;
    if (addresses[i].find("bad") != std::string::npos) throw std::runtime_error("404");
    std::lock_guard<std::mutex> lock(run.mutex);
    run.folder[files[i]] = addresses[i].substr(addresses[i].size() - 1);
    run.order.push_back(i);
}

TEST(DownloadBatch, SameNamesKeepListOrderAFailureEndsAloneAndWorkersAreBounded) {
    // a.gif three times (the last good one wins), a failure in the middle, a skipped page.
    const std::vector<std::string> addresses = {"h1/a.gif#1", "h/b.gif#2", "h2/a.gif#3", "h/bad.gif#4",
                                                "h/page.html", "h3/a.gif#5", "h/c.gif#6", "h/d.gif#7"};
    const std::vector<std::string> files = {"a.gif", "b.gif", "a.gif", "bad.gif", "", "a.gif", "c.gif", "d.gif"};
    const std::map<std::string, std::string> expected = {{"a.gif", "5"}, {"b.gif", "2"}, {"c.gif", "6"}, {"d.gif", "7"}};

    BatchRun sequential;
    SequentialExecutor one;
    RunDownloadBatch(files, one, [&](std::size_t i, std::size_t worker) {
        EXPECT_EQ(worker, 0u);
        Download(sequential, addresses, files, i);
    });
    EXPECT_EQ(sequential.folder, expected);
    EXPECT_EQ(sequential.order, (std::vector<std::size_t>{0, 1, 2, 5, 6, 7}));  // list order
    EXPECT_EQ(sequential.mostAtOnce, 1);

    for (std::size_t workers : {2u, 3u}) {
        BatchRun threaded;
        std::vector<std::size_t> waits;
        ThreadedExecutor pool(workers, [&](std::size_t finished) { waits.push_back(finished); });
        RunDownloadBatch(files, pool, [&](std::size_t i, std::size_t worker) {
            EXPECT_LT(worker, workers);
            Download(threaded, addresses, files, i);
        });
        EXPECT_EQ(threaded.folder, expected) << workers;
        EXPECT_LE(threaded.mostAtOnce, static_cast<int>(workers));
        EXPECT_EQ(waits.back(), 5u);  // five jobs: a.gif (three names), b, bad, c, d
        std::vector<std::size_t> aOrder;
        for (std::size_t i : threaded.order)
            if (files[i] == "a.gif") aOrder.push_back(i);
        EXPECT_EQ(aOrder, (std::vector<std::size_t>{0, 2, 5}));
    }
}

}  // namespace
}  // namespace nuv
