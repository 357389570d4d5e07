#include "cli/logic/ExtractCli.h"

#include <algorithm>
#include <array>

#include "cli/logic/CliValues.h"
#include "common/Product.h"
#include "common/SaveTargets.h"
#include "common/Text.h"
#include "save/DownloadTargets.h"
#include "web/Address.h"
#include "web/RetryRule.h"

namespace nuv {
namespace {

// A value and its command-line name.
template <typename V>
struct Named {
    V value;
    std::string_view name;
};

constexpr std::array<Named<DocType>, 6> kTypeNames = {{{DocType::PageSource, "source"},
                                                       {DocType::PageText, "text"},
                                                       {DocType::Images, "images"},
                                                       {DocType::Flash, "flash"},
                                                       {DocType::Css, "css"},
                                                       {DocType::Other, "other"}}};
constexpr std::array<Named<CliEngine>, 3> kEngineNames = {
    {{CliEngine::Auto, "auto"}, {CliEngine::Static, "static"}, {CliEngine::Browser, "browser"}}};
constexpr std::array<Named<FolderLayout>, 3> kLayoutNames = {
    {{FolderLayout::Flat, "flat"}, {FolderLayout::Host, "host"}, {FolderLayout::Page, "page"}}};

// The name of `value` in `table`, or `otherwise`.
template <typename V, size_t N>
std::string_view NameOf(const std::array<Named<V>, N>& table, V value, std::string_view otherwise) {
    for (const Named<V>& n : table) {
        if (n.value == value) return n.name;
    }
    return otherwise;
}

// The value named `name` in `table`, ASCII case ignored.
template <typename V, size_t N>
std::optional<V> ValueNamed(const std::array<Named<V>, N>& table, std::string_view name) {
    const std::string lower = LowerAscii(name);
    for (const Named<V>& n : table) {
        if (n.name == lower) return n.value;
    }
    return std::nullopt;
}

// The largest N of --shard K/N.
constexpr int kMaxShards = 100000;

// Which option a short letter or long name is, and whether it takes a value.
enum class Opt {
    None, Type, SaveTo, Download, Json, Timeout, Quiet, Verbose, Help, Version,
    Input, Jobs, Jsonl, Layout, Archive, Shard, Shown, MinSize, Types, AllowPrivate, AllowLocal, Retries,
    Wait, RandomWait, LimitRate, Proxy, UserAgent, NoRobots, Cookies, CookiesFrom, Engine, Name, Zip, Dedup,
    Scroll, ScrollLimit, DesignedOnly
};

Opt ShortOption(char c) {
    switch (c) {
        case 't': return Opt::Type;
        case 'o': return Opt::SaveTo;
        case 'd': return Opt::Download;
        case 'q': return Opt::Quiet;
        case 'v': return Opt::Verbose;
        case 'h': return Opt::Help;
        case 'i': return Opt::Input;
        case 'j': return Opt::Jobs;
        default: return Opt::None;
    }
}

Opt LongOption(std::string_view name) {
    if (name == "type") return Opt::Type;
    if (name == "save-to") return Opt::SaveTo;
    if (name == "download") return Opt::Download;
    if (name == "json") return Opt::Json;
    if (name == "timeout") return Opt::Timeout;
    if (name == "quiet") return Opt::Quiet;
    if (name == "verbose") return Opt::Verbose;
    if (name == "help") return Opt::Help;
    if (name == "version") return Opt::Version;
    if (name == "input-file") return Opt::Input;
    if (name == "jobs") return Opt::Jobs;
    if (name == "jsonl") return Opt::Jsonl;
    if (name == "layout") return Opt::Layout;
    if (name == "archive") return Opt::Archive;
    if (name == "shard") return Opt::Shard;
    if (name == "shown") return Opt::Shown;
    if (name == "min-size") return Opt::MinSize;
    if (name == "types") return Opt::Types;
    if (name == "allow-private-network") return Opt::AllowPrivate;
    if (name == "allow-local-files") return Opt::AllowLocal;
    if (name == "retries") return Opt::Retries;
    if (name == "wait") return Opt::Wait;
    if (name == "random-wait") return Opt::RandomWait;
    if (name == "limit-rate") return Opt::LimitRate;
    if (name == "proxy") return Opt::Proxy;
    if (name == "user-agent") return Opt::UserAgent;
    if (name == "no-robots") return Opt::NoRobots;
    if (name == "cookies") return Opt::Cookies;
    if (name == "cookies-from-browser") return Opt::CookiesFrom;
    if (name == "engine") return Opt::Engine;
    if (name == "name") return Opt::Name;
    if (name == "zip") return Opt::Zip;
    if (name == "dedup") return Opt::Dedup;
    if (name == "scroll") return Opt::Scroll;
    if (name == "scroll-limit") return Opt::ScrollLimit;
    if (name == "designed-only") return Opt::DesignedOnly;
    return Opt::None;
}

bool TakesValue(Opt o) {
    return o == Opt::Type || o == Opt::SaveTo || o == Opt::Timeout || o == Opt::Input || o == Opt::Jobs ||
           o == Opt::Layout || o == Opt::Archive || o == Opt::Shard || o == Opt::MinSize || o == Opt::Types ||
           o == Opt::Retries || o == Opt::Wait || o == Opt::LimitRate || o == Opt::Proxy || o == Opt::UserAgent ||
           o == Opt::Cookies || o == Opt::CookiesFrom || o == Opt::Engine || o == Opt::Name || o == Opt::Zip ||
           o == Opt::ScrollLimit;
}

// Applies an option; returns an error text or "".
std::string Apply(ExtractCliOptions& o, Opt opt, std::string_view shown, std::string_view value) {
    switch (opt) {
        case Opt::Type: {
            const auto type = CliTypeFromName(value);
            if (!type) {
                return FormatS("unknown type '%s' for %s (one of source, text, images, flash, css, other)",
                               {value, shown});
            }
            o.type = *type;
            return {};
        }
        case Opt::SaveTo:
            if (TrimView(value).empty()) return FormatS("%s needs a folder", {shown});
            o.saveTo = std::string(value);
            return {};
        case Opt::Timeout: {
            const auto ms = ParseSeconds(value);
            if (!ms) return FormatS("%s needs a positive number of seconds, not '%s'", {shown, value});
            o.timeoutMs = *ms;
            return {};
        }
        case Opt::Input:
        case Opt::Cookies:
        case Opt::Archive:
            if (TrimView(value).empty()) return FormatS("%s needs a file", {shown});
            (opt == Opt::Input ? o.inputFile : opt == Opt::Cookies ? o.cookies : o.archive) = std::string(value);
            return {};
        case Opt::CookiesFrom: {
            CookieBrowser browser;
            if (const std::string why = ParseCookieBrowser(value, browser); !why.empty())
                return FormatS("%s: %s", {shown, why});
            o.cookiesFromBrowser = browser;
            return {};
        }
        case Opt::Jobs: {
            const auto jobs = ParseCount(value, 1, kMaxPageJobs);
            if (!jobs) {
                return FormatS("%s needs a number of pages from 1 to %s, not '%s'",
                               {shown, std::to_string(kMaxPageJobs), value});
            }
            o.jobs = *jobs;
            return {};
        }
        case Opt::Retries: {
            const auto retries = ParseCount(value, 0, kMostRetries);
            if (!retries) {
                return FormatS("%s needs a number of tries again from 0 to %s, not '%s'",
                               {shown, std::to_string(kMostRetries), value});
            }
            o.retries = *retries;
            return {};
        }
        case Opt::Wait: {
            const auto ms = ParseSeconds(value);
            if (!ms) return FormatS("%s needs a positive number of seconds, not '%s'", {shown, value});
            o.waitMs = *ms;
            return {};
        }
        case Opt::LimitRate: {
            const auto rate = ParseRate(value);
            if (!rate) return FormatS("%s needs bytes a second such as 500k or 2M, not '%s'", {shown, value});
            o.limitRate = *rate;
            return {};
        }
        case Opt::Proxy:
            if (const std::string why = ProxyAddressProblem(value); !why.empty()) return FormatS("%s: %s", {shown, why});
            o.proxy = std::string(value);
            return {};
        case Opt::UserAgent:
            if (value.empty() || std::any_of(value.begin(), value.end(), [](char c) {
                    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
                }))
                return FormatS("%s needs a text without control characters", {shown});
            o.userAgent = std::string(value);
            return {};
        case Opt::Name: {
            std::string error;
            o.names = NameTemplate::Parse(value, error);
            return o.names ? std::string() : FormatS("%s: %s", {shown, error});
        }
        case Opt::Zip:
            if (TrimView(value).empty()) return FormatS("%s needs a file", {shown});
            o.zip = std::string(value);
            return {};
        case Opt::Dedup:
            if (value.empty() || value == "exact") o.dedup = DedupMode::Exact;
            else if (value == "similar") o.dedup = DedupMode::Similar;
            else return FormatS("unknown mode '%s' for %s (exact or similar)", {value, shown});
            return {};
        case Opt::RandomWait: o.randomWait = true; return {};
        case Opt::NoRobots: o.noRobots = true; return {};
        case Opt::Engine: {
            const auto engine = ValueNamed(kEngineNames, value);
            if (!engine) return FormatS("unknown engine '%s' for %s (one of auto, static, browser)", {value, shown});
            o.engine = *engine;
            return {};
        }
        case Opt::Layout: {
            const auto layout = CliLayoutFromName(value);
            if (!layout) return FormatS("unknown layout '%s' for %s (one of flat, host, page)", {value, shown});
            o.layout = *layout;
            return {};
        }
        case Opt::Shard: {
            const size_t slash = value.find('/');
            const auto index = slash == std::string_view::npos ? std::nullopt
                                                               : ParseCount(value.substr(0, slash), 1, kMaxShards);
            const auto count = slash == std::string_view::npos ? std::nullopt
                                                               : ParseCount(value.substr(slash + 1), 1, kMaxShards);
            if (!index || !count || *index > *count)
                return FormatS("%s needs K/N with 1 <= K <= N, not '%s'", {shown, value});
            o.shard = CliShard{*index, *count};
            return {};
        }
        case Opt::MinSize: {
            const auto size = ParseMinSize(value);
            if (!size) return FormatS("%s needs a width and height in pixels such as 200x150, not '%s'", {shown, value});
            o.filter.minWidth = size->first;
            o.filter.minHeight = size->second;
            return {};
        }
        case Opt::Types: {
            std::string error;
            const auto types = ParsePictureTypes(value, error);
            if (!types) return FormatS("%s: %s", {shown, error});
            o.filter.types = *types;
            return {};
        }
        case Opt::Shown: o.shown = o.describePictures = true; return {};
        case Opt::DesignedOnly: o.designedOnly = true; return {};
        case Opt::Scroll: o.scroll = true; return {};
        case Opt::ScrollLimit: {
            const auto ms = ParseSeconds(value);
            if (!ms) return FormatS("%s needs a positive number of seconds, not '%s'", {shown, value});
            o.scroll = true;
            o.scrollLimitMs = *ms;
            return {};
        }
        case Opt::AllowPrivate: o.allowPrivateNetwork = true; return {};
        case Opt::AllowLocal: o.allowLocalFiles = true; return {};
        case Opt::Download: o.download = true; return {};
        case Opt::Json: o.json = true; return {};
        case Opt::Jsonl: o.jsonl = true; return {};
        case Opt::Quiet: o.quiet = true; return {};
        case Opt::Verbose: o.verbose = true; return {};
        case Opt::Help: o.help = true; return {};
        case Opt::Version: o.version = true; return {};
        case Opt::None: break;
    }
    return FormatS("unknown option %s", {shown});
}

}  // namespace

std::string_view CliTypeName(DocType type) { return NameOf(kTypeNames, type, "images"); }

std::optional<DocType> CliTypeFromName(std::string_view name) { return ValueNamed(kTypeNames, name); }

CliParseResult ParseExtractCliArguments(const std::vector<std::string>& args) {
    CliParseResult r;
    ExtractCliOptions& o = r.options;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size() && r.error.empty(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || !StartsWith(arg, "-")) {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (StartsWith(arg, "--")) {
            const size_t eq = arg.find('=');
            const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
            const std::string shown = "--" + name;
            const Opt opt = LongOption(name);
            if (opt == Opt::None) {
                r.error = FormatS("unknown option %s", {shown});
            } else if (opt == Opt::Dedup) {  // its mode may follow: --dedup similar
                const bool next = eq == std::string::npos && i + 1 < args.size() &&
                                  (args[i + 1] == "exact" || args[i + 1] == "similar");
                r.error = Apply(o, opt, shown, eq != std::string::npos ? std::string_view(arg).substr(eq + 1)
                                               : next ? std::string_view(args[++i]) : std::string_view());
            } else if (!TakesValue(opt)) {
                if (eq != std::string::npos) r.error = FormatS("%s takes no value", {shown});
                else r.error = Apply(o, opt, shown, {});
            } else if (eq != std::string::npos) {
                r.error = Apply(o, opt, shown, std::string_view(arg).substr(eq + 1));
            } else if (i + 1 < args.size()) {
                r.error = Apply(o, opt, shown, args[++i]);
            } else {
                r.error = FormatS("%s needs a value", {shown});
            }
            continue;
        }
        // One or more bundled short options; a value option takes the rest of the word
        // or the next argument.
        for (size_t k = 1; k < arg.size() && r.error.empty(); ++k) {
            const std::string shown = std::string("-") + arg[k];
            const Opt opt = ShortOption(arg[k]);
            if (opt == Opt::None) {
                r.error = FormatS("unknown option %s", {shown});
            } else if (!TakesValue(opt)) {
                r.error = Apply(o, opt, shown, {});
            } else {
                if (k + 1 < arg.size()) {
                    r.error = Apply(o, opt, shown, std::string_view(arg).substr(k + 1));
                } else if (i + 1 < args.size()) {
                    r.error = Apply(o, opt, shown, args[++i]);
                } else {
                    r.error = FormatS("%s needs a value", {shown});
                }
                break;
            }
        }
    }
    if (!r.error.empty() || o.help || o.version) return r;
    if ((o.shown || o.designedOnly || o.filter.Active()) && o.type != DocType::Images) {
        r.error = "--shown, --designed-only, --min-size and --types are for pictures: only with the type images";
        return r;
    }
    if (o.designedOnly && (o.shown || o.scroll)) {
        r.error = "--designed-only excludes --shown and --scroll, which add the pictures the page shows";
        return r;
    }
    o.shown = o.type == DocType::Images && !o.designedOnly;
    if (!o.zip.empty()) {
        if (!o.saveTo.empty()) {
            r.error = "--zip and -o exclude each other: the files go into the ZIP file";
            return r;
        }
        o.download = true;
    }
    if ((o.names || o.dedup != DedupMode::None) && !o.download) {
        r.error = "--name and --dedup are for what is saved: only with -d or --zip";
        return r;
    }
    if (positional.empty() && o.inputFile.empty()) {
        r.error = "no ADDRESS given";
        return r;
    }
    for (const std::string& p : positional) {
        if (TrimView(p).empty()) {
            r.error = "the ADDRESS is empty";
            return r;
        }
    }
    o.addresses = positional;
    if (!positional.empty()) o.address = positional.front();
    if (o.json && o.jsonl) {
        r.error = "--json and --jsonl exclude each other";
    } else if (o.json && IsListRun(o)) {
        r.error = "--json prints one page; use --jsonl for several";
    } else if (o.engine == CliEngine::Static && !StaticEngineFits(o)) {
        r.error = "--engine static reads no page text or scrolled pages; use auto or browser";
    }
    return r;
}

bool IsListRun(const ExtractCliOptions& options) {
    return !options.inputFile.empty() || options.addresses.size() > 1;
}

bool NeedsPictureSizes(const ExtractCliOptions& o) {
    return o.filter.minWidth > 0 || o.filter.minHeight > 0 || (o.describePictures && (o.json || o.jsonl));
}

bool StaticEngineFits(const ExtractCliOptions& o) {
    return o.type != DocType::PageText && !o.scroll;
}

bool RunNeedsNoEngine(const ExtractCliOptions& o) {
    // The static reading takes the addresses that still begin so once completed.
    const auto web = [](const std::string& a) { return HasWebScheme(TrimView(a)); };
    return o.engine == CliEngine::Static && StaticEngineFits(o) && o.inputFile.empty() && !o.addresses.empty() &&
           std::all_of(o.addresses.begin(), o.addresses.end(), web);
}

std::string_view CliLayoutName(FolderLayout layout) { return NameOf(kLayoutNames, layout, "flat"); }

std::optional<FolderLayout> CliLayoutFromName(std::string_view name) { return ValueNamed(kLayoutNames, name); }

}  // namespace nuv
