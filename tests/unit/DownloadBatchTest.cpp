#include "save/DownloadBatch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "support/FakeNetwork.h"
#include "support/Files.h"

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


// Parallel downloads into a folder in memory. Wait ends every download started since the
// last Wait, the latest first, each writing its address's last letter into its file
// ("bad" addresses fail); with none started it sleeps until Wake.
class MemoryTransfers : public test::InstantTransfers {
public:
    explicit MemoryTransfers(std::size_t slots) : InstantTransfers(slots, true) {}

    std::map<std::string, std::string> folder;  // every letter each file was written with
    std::size_t mostAtOnce = 0;

private:
    void OnStart(const Started& s, std::size_t running) override {
        EXPECT_EQ(s.page, "http://h/page.html");
        mostAtOnce = std::max(mostAtOnce, running);
    }
    Ended End(const Started& s) override {
        Ended e;
        e.id = s.id;
        if (s.url.find("bad") != std::string::npos) {
            e.error = DownloadError("404", DownloadFailure::Http);
        } else {
            folder[s.file] += s.url.back();
            e.size = 1;
        }
        return e;
    }
};

TEST(DownloadBatch, TheEngineKeepsEachFilesOrderAndHoldsAFileAPagesExtractionWrites) {
    MemoryTransfers transfers(3);
    std::vector<DownloadBatch::Result> results;
    std::string whenHeld;
    {
        DownloadBatch batch(transfers);
        const auto add = [&](const char* address, const char* file) { return batch.Add(address, file, "http://h/page.html"); };
        add("h/s.css#1", "s.css");  // an earlier page's
        add("h1/a.gif#2", "a.gif");
        const std::size_t from = batch.Added();
        EXPECT_EQ(from, 2u);
        add("h/b.gif#3", "b.gif");
        add("h2/a.gif#4", "a.gif");
        add("h/bad.gif#5", "bad.gif");
        EXPECT_EQ(add("h2/s.css#6", "s.css"), 5u);
        // This page's extraction writes s.css itself: the earlier page's download of it
        // ends first, this page's wait and write it again afterwards.
        batch.HoldFile("s.css", from);
        {
            std::lock_guard<std::mutex> lock(transfers.mutex);
            transfers.folder["s.css"] += "S";
        }
        add("h3/a.gif#7", "a.gif");
        add("h3/s.css#8", "s.css");
        {
            std::lock_guard<std::mutex> lock(transfers.mutex);
            whenHeld = transfers.folder["s.css"];
        }
        results = batch.Finish();
    }
    EXPECT_EQ(transfers.folder["a.gif"], "247");  // one after the other, in the order added
    EXPECT_EQ(transfers.folder["b.gif"], "3");
    EXPECT_TRUE(whenHeld == "1S" || whenHeld == "16S") << whenHeld;
    EXPECT_EQ(transfers.folder["s.css"], whenHeld + "68");
    EXPECT_LE(transfers.mostAtOnce, 3u);
    ASSERT_EQ(results.size(), 8u);
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 7}) EXPECT_TRUE(results[i].saved) << i;
    EXPECT_EQ(results[4].error, "404");
    EXPECT_EQ(results[4].failure, DownloadFailure::Http);

    // Nothing added: Finish returns at once.
    DownloadBatch empty(transfers);
    EXPECT_TRUE(empty.Finish().empty());
}

// Parallel downloads that end only when the test lets them: Release(n) ends, on the next
// Wait, the n running downloads that started first.
class HeldTransfers : public IParallelDownloader {
public:
    explicit HeldTransfers(std::size_t slots) : slots_(slots) {}
    std::size_t Slots() const override { return slots_; }
    void Start(std::size_t id, const std::string& url, const std::string&, const std::string&) override {
        std::lock_guard<std::mutex> lock(mutex_);
        started.push_back(url);
        const std::string rest = url.substr(url.find("://") + 3);
        running_.push_back({id, rest.substr(0, rest.find('/'))});
        const std::string& host = running_.back().host;
        mostPerHost[host] = std::max(mostPerHost[host], ++busy_[host]);
        changed_.notify_all();
    }
    void Wait(std::chrono::milliseconds timeout, std::vector<Ended>& ended) override {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, timeout, [this] { return wake_ || (release_ > 0 && !running_.empty()); });
        wake_ = false;
        for (; release_ > 0 && !running_.empty(); --release_) {
            ended.push_back({running_.front().id, 1, std::nullopt});
            --busy_[running_.front().host];
            running_.pop_front();
        }
    }
    void Wake() override {
        std::lock_guard<std::mutex> lock(mutex_);
        wake_ = true;
        changed_.notify_all();
    }
    void Release(std::size_t n) {
        std::lock_guard<std::mutex> lock(mutex_);
        release_ += n;
        changed_.notify_all();
    }
    // Waits until `n` downloads have started; false after ten seconds.
    bool Started(std::size_t n) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return started.size() >= n; });
    }
    std::vector<std::string> StartedSoFar() {
        std::lock_guard<std::mutex> lock(mutex_);
        return started;
    }

    std::map<std::string, std::size_t> mostPerHost;

private:
    struct Running {
        std::size_t id;
        std::string host;
    };
    std::size_t slots_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> started;
    std::deque<Running> running_;
    std::map<std::string, std::size_t> busy_;
    std::size_t release_ = 0;
    bool wake_ = false;
};

// A host at its bound lets later downloads of other hosts start first; each end is told
// to the one who added the download; Cancel starts nothing more and returns at once.
TEST(DownloadBatch, AHostAtItsBoundLetsOtherHostsGoFirstAndCancelStartsNothingMore) {
    HeldTransfers transfers(3);
    std::mutex mutex;
    std::map<std::string, int> told;
    {
        DownloadBatch batch(transfers, 1);
        const auto add = [&](const std::string& address) {
            batch.Add("http://" + address, address, "http://h/page.html", [&, address](const DownloadBatch::Result& r) {
                EXPECT_TRUE(r.saved);
                std::lock_guard<std::mutex> lock(mutex);
                ++told[address];
            });
        };
        for (const char* address : {"a/1", "a/2", "b/1", "a/3", "c/1"}) add(address);
        ASSERT_TRUE(transfers.Started(3));
        // a/2 waits for its host although it came before b/1 and c/1.
        EXPECT_EQ(transfers.StartedSoFar(), (std::vector<std::string>{"http://a/1", "http://b/1", "http://c/1"}));
        transfers.Release(3);
        ASSERT_TRUE(transfers.Started(4));
        transfers.Release(1);
        ASSERT_TRUE(transfers.Started(5));
        transfers.Release(1);
        const std::vector<DownloadBatch::Result> results = batch.Finish();
        ASSERT_EQ(results.size(), 5u);
        for (const DownloadBatch::Result& r : results) EXPECT_TRUE(r.saved);
    }
    EXPECT_EQ(transfers.StartedSoFar(),
              (std::vector<std::string>{"http://a/1", "http://b/1", "http://c/1", "http://a/2", "http://a/3"}));
    for (const auto& [host, most] : transfers.mostPerHost) EXPECT_EQ(most, 1u) << host;
    EXPECT_EQ(told, (std::map<std::string, int>{{"a/1", 1}, {"a/2", 1}, {"a/3", 1}, {"b/1", 1}, {"c/1", 1}}));

    HeldTransfers held(2);
    DownloadBatch batch(held, 1);
    batch.Add("http://d/1", "d1", "http://h/page.html");
    batch.Add("http://d/2", "d2", "http://h/page.html");
    ASSERT_TRUE(held.Started(1));
    batch.Cancel();  // d/1 runs on, never told; d/2 never starts
    batch.Add("http://e/1", "e1", "http://h/page.html");
    EXPECT_EQ(batch.Finish().size(), 3u);
    EXPECT_EQ(held.StartedSoFar(), (std::vector<std::string>{"http://d/1"}));
}

// Downloads that end at once as their address's script says, one letter a try: "o" ok,
// "b" 503 busy, "r" 429 with Retry-After, "t" a transfer cut short, "n" 404.
class ScriptedTransfers : public test::InstantTransfers {
public:
    ScriptedTransfers() : InstantTransfers(2) {}

    std::map<std::string, std::vector<std::chrono::steady_clock::time_point>> starts;

private:
    void OnStart(const Started& s, std::size_t) override { starts[s.url].push_back(std::chrono::steady_clock::now()); }
    Ended End(const Started& s) override {
        const char step = s.url.substr(s.url.find('#') + 1)[starts[s.url].size() - 1];
        Ended e;
        e.id = s.id;
        if (step == 'b') e.error = DownloadError("503", DownloadFailure::Http).WithAnswer(503, std::nullopt);
        if (step == 'r') e.error = DownloadError("429", DownloadFailure::Http).WithAnswer(429, std::chrono::seconds(1));
        if (step == 't') e.error = DownloadError("cut", DownloadFailure::Network).WithTransient();
        if (step == 'n') e.error = DownloadError("404", DownloadFailure::Http).WithAnswer(404, std::nullopt);
        return e;
    }
};

TEST(DownloadBatch, FailuresThatMayPassAreTriedAgainAfterTheirWait) {
    using std::chrono::milliseconds;
    struct Case {
        const char* address;
        bool saved;
        int retries;  // of the result
    } cases[] = {
        {"http://a/1#bbo", true, 2},   // busy twice, then there
        {"http://a/2#ro", true, 1},    // Retry-After: 1 s, capped at 30 ms
        {"http://b/1#to", true, 1},    // a cut transfer
        {"http://b/2#no", false, 0},   // 404 is final
        {"http://c/1#tttto", false, 3},  // three retries, then the last failure stands
        {"http://c/2#o", true, 0},
    };
    ScriptedTransfers transfers;
    std::vector<DownloadBatch::Result> results;
    std::atomic<int> told{0};
    {
        DownloadBatch batch(transfers, 1, RetryRule{3, milliseconds(10), milliseconds(30)});
        for (const Case& c : cases) batch.Add(c.address, c.address, "http://h/page.html", [&](const auto&) { ++told; });
        results = batch.Finish();
    }
    ASSERT_EQ(results.size(), std::size(cases));
    EXPECT_EQ(told, static_cast<int>(std::size(cases)));  // each heard of once, with its last outcome
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(results[i].saved, cases[i].saved) << cases[i].address;
        EXPECT_EQ(results[i].retries, cases[i].retries) << cases[i].address;
        EXPECT_EQ(transfers.starts[cases[i].address].size(), static_cast<std::size_t>(cases[i].retries + 1));
    }
    const auto& busy = transfers.starts["http://a/1#bbo"];
    EXPECT_GE(busy[1] - busy[0], milliseconds(7));   // 10 ms, spread by at most a quarter
    EXPECT_GE(busy[2] - busy[1], milliseconds(15));  // doubled
    const auto& asked = transfers.starts["http://a/2#ro"];
    EXPECT_GE(asked[1] - asked[0], milliseconds(30));
    EXPECT_EQ(results[4].error, "cut");

    // --wait: the downloads of one host start that far apart, tries again included; another
    // host does not wait for them.
    ScriptedTransfers paced;
    {
        DownloadBatch batch(paced, 4, RetryRule{1, milliseconds(1), milliseconds(1)}, HostPace{milliseconds(40)});
        for (const char* a : {"http://p/1#o", "http://p/2#bo", "http://q/1#o"}) batch.Add(a, a, "http://h/page.html");
        for (const DownloadBatch::Result& r : batch.Finish()) EXPECT_TRUE(r.saved);
    }
    const auto first = paced.starts["http://p/1#o"][0];
    const auto& second = paced.starts["http://p/2#bo"];
    ASSERT_EQ(second.size(), 2u);
    EXPECT_GE(second[0] - first, milliseconds(40));
    EXPECT_GE(second[1] - second[0], milliseconds(40));
    EXPECT_LT(paced.starts["http://q/1#o"][0] - first, milliseconds(40));

    // The waits themselves: back-off doubled up to the cap, spread by the jitter; what the
    // server asks for within the cap.
    const RetryRule rule{3, milliseconds(1000), milliseconds(60000)};
    EXPECT_EQ(RetryDelay(rule, 1, std::nullopt, 0.5), milliseconds(1000));
    EXPECT_EQ(RetryDelay(rule, 3, std::nullopt, 0.5), milliseconds(4000));
    EXPECT_EQ(RetryDelay(rule, 1, std::nullopt, 0.0), milliseconds(750));
    EXPECT_EQ(RetryDelay(rule, 1, std::nullopt, 1.0), milliseconds(1250));
    EXPECT_EQ(RetryDelay(rule, 30, std::nullopt, 1.0), milliseconds(60000));
    EXPECT_EQ(RetryDelay(rule, 1, std::chrono::seconds(5), 0.9), milliseconds(5000));
    EXPECT_EQ(RetryDelay(rule, 1, std::chrono::seconds(86400), 0.0), milliseconds(60000));
    for (const auto& [error, may] : std::vector<std::pair<DownloadError, bool>>{
             {DownloadError("x", DownloadFailure::Http).WithAnswer(429, std::nullopt), true},
             {DownloadError("x", DownloadFailure::Http).WithAnswer(504, std::nullopt), true},
             {DownloadError("x", DownloadFailure::Http).WithAnswer(500, std::nullopt), false},
             {DownloadError("x", DownloadFailure::Http).WithAnswer(403, std::nullopt), false},
             {DownloadError("x", DownloadFailure::TimedOut).WithTransient(), true},
             {DownloadError("x", DownloadFailure::TimedOut), false},  // the whole time bound
             {DownloadError("x", DownloadFailure::Network), false},   // no host, refused connection
             {DownloadError("x", DownloadFailure::PrivateNetwork), false}})
        EXPECT_EQ(MayRetry(error), may) << error.Status();
}

// Transfers into real files: an address ending in "#404" or "#500" fails with that
// status, any other writes its address into its file.
class DiskTransfers : public test::InstantTransfers {
public:
    DiskTransfers() : InstantTransfers(4) {}
    std::map<std::string, int> starts;  // by address

private:
    Ended End(const Started& s) override {
        ++starts[s.url];
        Ended e;
        e.id = s.id;
        for (const int status : {404, 500})
            if (s.url.ends_with("#" + std::to_string(status)))
                e.error = DownloadError(std::to_string(status), DownloadFailure::Http).WithAnswer(status, std::nullopt);
        if (!e.error) {
            test::WriteFile(s.file, s.url);
            e.size = s.url.size();
            e.contentType = "image/png";
        }
        return e;
    }
};

// The pages of a run share a picture: its download into the same file is made once while
// the file stands as saved, and so is a 404; the rest is fetched again.
TEST(DownloadBatch, AnAddressThatLastWroteItsFileIsNotFetchedAgain) {
    test::TempFolder folder("nuv-batch");
    const std::string dir = folder.Dir().string() + "/";
    DiskTransfers transfers;
    std::vector<DownloadBatch::Result> results;
    {
        DownloadBatch batch(transfers);
        const auto add = [&](const std::string& address, const std::string& file, const char* page) {
            return batch.Add(address, dir + file, page);
        };
        const auto round = [&](const char* page) {
            add("http://h/a.png", "a.png", page);
            add("http://h/gone.png#404", "gone.png", page);
            add("http://h/busy.png#500", "busy.png", page);
            add("http://h/1/b.png", "b.png", page);
            add("http://h/2/b.png", "b.png", page);  // another address, the same name
        };
        round("http://h/p1.html");
        round("http://h/p2.html");
        results = batch.Finish();
    }
    ASSERT_EQ(results.size(), 10u);
    EXPECT_EQ(transfers.starts["http://h/a.png"], 1);
    EXPECT_EQ(transfers.starts["http://h/gone.png#404"], 1);
    EXPECT_EQ(transfers.starts["http://h/busy.png#500"], 2);
    EXPECT_EQ(transfers.starts["http://h/1/b.png"], 2);
    EXPECT_EQ(transfers.starts["http://h/2/b.png"], 2);
    EXPECT_EQ(test::ReadFile(dir + "b.png"), "http://h/2/b.png");
    for (const std::size_t page : {0u, 5u}) {  // each page hears the same ends
        EXPECT_TRUE(results[page].saved);
        EXPECT_EQ(results[page].size, 14u);
        EXPECT_EQ(results[page].contentType, "image/png");
        EXPECT_EQ(results[page + 1].status, 404);
        EXPECT_EQ(results[page + 1].failure, DownloadFailure::Http);
    }

    // A file that is no longer as it was saved (removed, or written by a page's
    // extraction) is fetched again.
    DiskTransfers again;
    {
        DownloadBatch batch(again);
        std::promise<void> ended;
        batch.Add("http://h/a.png", dir + "a.png", "http://h/p1.html");
        batch.Add("http://h/c.png", dir + "c.png", "http://h/p1.html", [&](const auto&) { ended.set_value(); });
        ended.get_future().wait();
        std::filesystem::remove(dir + "c.png");
        batch.Add("http://h/c.png", dir + "c.png", "http://h/p2.html");
        batch.HoldFile(dir + "a.png", batch.Added());
        test::WriteFile(dir + "a.png", "a sheet's own!");  // as long as the download
        batch.Add("http://h/a.png", dir + "a.png", "http://h/p2.html");
        results = batch.Finish();
    }
    EXPECT_EQ(again.starts["http://h/c.png"], 2);
    EXPECT_EQ(again.starts["http://h/a.png"], 2);
    for (const auto& r : results) EXPECT_TRUE(r.saved);
}

// Downloads ahead of a page's list: the list's download of the same address takes the
// file over (once it ends, if it still runs), a failed one is fetched again, the rest are
// dropped with their files, and another page's list takes nothing.
TEST(DownloadBatch, AListTakesOverTheDownloadsAheadOfItsPage) {
    test::TempFolder folder("nuv-ahead");
    const std::string dir = folder.Dir().string() + "/";
    std::filesystem::create_directories(dir + ".ahead");
    DiskTransfers transfers;
    std::vector<DownloadBatch::Result> results;
    DownloadBatch::Ahead ahead, other;
    {
        DownloadBatch batch(transfers);
        const auto early = [&](const char* address, const char* file) {
            batch.AddAhead(7, address, dir + ".ahead/" + file, "http://h/p.html", dir);
        };
        std::promise<void> ended;
        early("http://h/a.png", "1");
        early("http://h/gone.png#404", "2");
        early("http://h/left.png", "3");
        early("http://h/left.png", "4");  // once an address
        batch.Add("http://h/sync.png", dir + "sync.png", "http://h/p.html", [&](const auto&) { ended.set_value(); });
        ended.get_future().wait();  // the downloads ahead have ended, started before it
        batch.Add("http://h/a.png", dir + "a.png", "http://h/p.html", {}, 8);  // another page's
        batch.Add("http://h/a.png", dir + "a.png", "http://h/p.html", {}, 7);
        batch.Add("http://h/gone.png#404", dir + "gone.png", "http://h/p.html", {}, 7);
        batch.Add("http://h/b.png", dir + "b.png", "http://h/p.html", {}, 7);
        ahead = batch.DropAhead(7);
        other = batch.DropAhead(8);
        results = batch.Finish();
    }
    EXPECT_EQ(transfers.starts["http://h/a.png"], 2);  // ahead, and for the other page
    EXPECT_EQ(transfers.starts["http://h/gone.png#404"], 2);
    EXPECT_EQ(transfers.starts["http://h/left.png"], 1);
    EXPECT_EQ(ahead.fetched, 3u);
    EXPECT_EQ(ahead.used, 2u);
    EXPECT_EQ(ahead.removed, 1u);
    EXPECT_EQ(other.fetched, 0u);
    EXPECT_TRUE(std::filesystem::is_empty(dir + ".ahead"));
    EXPECT_EQ(test::ReadFile(dir + "a.png"), "http://h/a.png");
    ASSERT_EQ(results.size(), 8u);
    EXPECT_TRUE(results[5].saved);
    EXPECT_EQ(results[5].size, 14u);
    EXPECT_EQ(results[6].status, 404);

    // A download ahead that has not started when its page drops it never starts; one that
    // runs when the list asks for it is taken over at its end.
    HeldTransfers held(1);
    {
        DownloadBatch batch(held);
        batch.AddAhead(1, "http://h/x.png", dir + ".ahead/x", "http://h/p.html", dir);
        batch.AddAhead(1, "http://h/y.png", dir + ".ahead/y", "http://h/p.html", dir);
        ASSERT_TRUE(held.Started(1));
        batch.Add("http://h/x.png", dir + "x.png", "http://h/p.html", {}, 1);
        ahead = batch.DropAhead(1);
        test::WriteFile(dir + ".ahead/x", "x");  // what the download writes
        held.Release(1);
        results = batch.Finish();
    }
    EXPECT_EQ(held.StartedSoFar(), std::vector<std::string>{"http://h/x.png"});
    EXPECT_EQ(ahead.fetched, 1u);
    EXPECT_EQ(ahead.used, 1u);
    EXPECT_EQ(ahead.removed, 0u);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[2].saved);
}

}  // namespace
}  // namespace nuv
