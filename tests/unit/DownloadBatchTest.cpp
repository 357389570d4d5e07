#include "library/logic/DownloadBatch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
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

// Several lists share one pool: every download runs once, a host never has more than its
// limit at once, the workers are bounded, names shared in one list keep their order,
// and each list hears once that it is done.
TEST(DownloadPool, ListsShareWorkersWithinEachHostsLimit) {
    std::mutex mutex;
    std::map<std::string, int> busy, most;
    std::map<std::string, std::vector<std::size_t>> order;
    std::atomic<int> running{0}, mostAtOnce{0}, finished{0};
    std::vector<std::atomic<int>> runs(60);
    {
        DownloadPool pool(5, 2);
        EXPECT_EQ(pool.Workers(), 5u);
        for (int list = 0; list < 3; ++list) {
            std::vector<std::string> files;
            for (int i = 0; i < 20; ++i) files.push_back(i % 7 == 0 ? "" : "f" + std::to_string(i % 5));
            // The names f0 to f4 on the hosts h0 and h1: the addresses of one name share a host.
            const auto host = [](std::size_t i) { return "h" + std::to_string(i % 5 % 2); };
            AddDownloadBatch(
                pool, files, host,
                [&, list, host, files](std::size_t i, std::size_t worker) {
                    EXPECT_LT(worker, 5u);
                    ++runs[static_cast<std::size_t>(list * 20) + i];
                    const int now = ++running;
                    for (int seen = mostAtOnce; now > seen && !mostAtOnce.compare_exchange_weak(seen, now);) {
                    }
                    {
                        std::lock_guard<std::mutex> lock(mutex);
                        order[std::to_string(list) + files[i]].push_back(i);
                        const std::string h = host(i);
                        most[h] = std::max(most[h], ++busy[h]);
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    {
                        std::lock_guard<std::mutex> lock(mutex);
                        --busy[host(i)];
                    }
                    --running;
                    if (i == 3) throw std::runtime_error("one failure ends alone");
                },
                [&] { ++finished; });
        }
        for (int spin = 0; finished < 3 && spin < 10000; ++spin) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(finished, 3);
    for (std::size_t k = 0; k < runs.size(); ++k) EXPECT_EQ(runs[k], k % 20 % 7 == 0 ? 0 : 1) << k;
    EXPECT_LE(mostAtOnce, 5);
    for (const auto& [host, n] : most) EXPECT_LE(n, 2) << host;
    for (const auto& [file, indexes] : order) EXPECT_TRUE(std::is_sorted(indexes.begin(), indexes.end())) << file;

    // A list with nothing to download is done at once.
    DownloadPool pool(1, 1);
    bool empty = false;
    AddDownloadBatch(pool, {"", ""}, [](std::size_t) { return std::string(); }, [](std::size_t, std::size_t) {},
                     [&] { empty = true; });
    EXPECT_TRUE(empty);
}

TEST(DownloadPool, AHostAtItsLimitLetsOtherHostsGoFirstAndCancelDropsTheRest) {
    DownloadPool pool(3, 1);
    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    std::vector<std::string> started;
    auto job = [&](const std::string& name, bool hold) {
        return [&, name, hold](std::size_t) {
            std::unique_lock<std::mutex> lock(mutex);
            started.push_back(name);
            changed.notify_all();
            if (hold) changed.wait(lock, [&] { return release; });
        };
    };
    pool.Add("a", job("a1", true));
    pool.Add("a", job("a2", false));
    pool.Add("b", job("b1", true));
    pool.Add("a", job("a3", false));
    {
        std::unique_lock<std::mutex> lock(mutex);
        // a1 holds host a; b1 starts beside it although a2 was added before it.
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return started.size() == 2; }));
        std::vector<std::string> both = started;  // the two workers start in either order
        std::sort(both.begin(), both.end());
        EXPECT_EQ(both, (std::vector<std::string>{"a1", "b1"}));
    }
    pool.Cancel();  // a2 and a3 never start
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    changed.notify_all();
    pool.Add("c", job("c1", false));
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return started.size() == 3; }));
    EXPECT_EQ(started.back(), "c1");
}

}  // namespace
}  // namespace nuv
