#include "cli/PageExtraction.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <system_error>

#include <unistd.h>

#include "cli/StopSignals.h"
#include "common/FileText.h"
#include "platform/BrowserCookies.h"
#include "save/DownloadPlan.h"

namespace nuv {

void ApplyNetworkOptions(CurlDownloader& downloader, const ExtractCliOptions& options) {
    downloader.SetAllowPrivateNetwork(options.allowPrivateNetwork);
    downloader.SetProxy(options.proxy);
    if (!options.userAgent.empty()) downloader.SetUserAgent(options.userAgent);
    downloader.SetMaxRecvSpeed(options.limitRate);
}

RobotsAnswer FetchRobots(const ExtractCliOptions& options, BrowserCookies& cookies, const std::string& saveRoot,
                         const std::string& robotsAddress) {
    CurlDownloader downloader;
    downloader.SetCookieSource(&cookies);
    downloader.SetWaitHook(ThrowIfStopping);
    downloader.SetSaveRoot(saveRoot);
    ApplyNetworkOptions(downloader, options);
    downloader.SetPageAddress([robotsAddress] { return robotsAddress; });
    const std::string file =
        saveRoot + std::string(kPartialDownloadPrefix) + "robots-" + std::to_string(getpid()) + ".txt";
    constexpr std::size_t kMostBytes = std::size_t{4} << 20;
    RobotsAnswer answer;
    try {
        downloader.DownloadToFile(robotsAddress, file, {}, DownloadBounds{kMostBytes, std::chrono::seconds(20)});
        answer = {RobotsAnswer::Kind::Found, ReadFileText(file, kMostBytes).value_or(std::string())};
    } catch (const DownloadError& e) {
        const bool unreachable = e.kind() == DownloadFailure::Network || e.kind() == DownloadFailure::TimedOut ||
                                 (e.kind() == DownloadFailure::Http && e.Status() >= 500);
        answer.kind = unreachable ? RobotsAnswer::Kind::Unreachable : RobotsAnswer::Kind::Unavailable;
    }
    std::error_code ec;
    std::filesystem::remove(file, ec);
    return answer;
}

void CachedSheetDownloads::DownloadToFile(const std::string& url, const std::string& filePath,
                                          const DownloadProgressFn& progress, const DownloadBounds& bounds) {
    constexpr std::uint64_t kMostKept = std::uint64_t{4} << 20;
    try {
        inner_.DownloadToFile(url, filePath, progress, bounds);
    } catch (const DownloadError& e) {
        if (sheets_ != nullptr && e.kind() == DownloadFailure::Http && e.Status() > 0)
            sheets_->Keep(url, {{}, e.Status(), e.what()});
        throw;
    }
    if (sheets_ == nullptr) return;
    if (std::optional<std::string> text = ReadFileText(filePath, kMostKept)) sheets_->Keep(url, {std::move(*text), 0});
}

PageExtraction::PageExtraction(IBrowser& browser, const PageExtractionSetup& setup)
    : setup_(setup),
      sheetDownloads_(downloader_, setup.sheets),
      bar_(setup.progress, setup.showProgress),
      folder_(setup.staging),
      // The run prints lists; it makes no result page.
      extraction_(ExtractionServices{browser, sheetDownloads_, http_, folder_, bar_, {}, std::nullopt, setup.observer,
                                     setup.kept}) {
    downloader_.SetCookieSource(&setup.cookies);
    downloader_.SetWaitHook(ThrowIfStopping);
    downloader_.SetSaveRoot(setup.saveRoot);
    ApplyNetworkOptions(downloader_, setup.options);
    downloader_.SetPageAddress([this] { return extraction_.PageAddress(); });
    http_.IdHTTP1.SetWaitHook(ThrowIfStopping);
    http_.IdHTTP1.SetAllowPrivateNetwork(setup.options.allowPrivateNetwork);
    if (!setup.options.userAgent.empty()) http_.IdHTTP1.Settings().userAgent = setup.options.userAgent;
    http_.IdHTTP1.SetProxy(setup.options.proxy);
    http_.retry = RetryRule{setup.options.retries};
    http_.IdHTTP1.SetPageAddress([this] { return extraction_.PageAddress(); });
    extraction_.SetIncludeShownPictures(setup.options.shown);
}

bool PageExtraction::ListingShownPictures() const {
    const auto& notes = extraction_.Lists().ImageNotes;
    return !notes.empty() && notes.back().place == ImagePlace::Shown;
}

ExtractionResult PageExtraction::Run(CliReport& report) {
    const ExtractCliOptions& options = setup_.options;
    ExtractionResult result = extraction_.ExtractFormWebpage(static_cast<int>(options.type));
    report.pageAddress = result.pageAddress;
    report.cut = result.cut;
    report.errors.insert(report.errors.end(), result.errors.begin(), result.errors.end());
    if (IsTextType(options.type)) {
        report.text = result.memoText;
    } else {
        report.list = result.addresses;
        report.notes = result.notes;
    }
    return result;
}

}  // namespace nuv
