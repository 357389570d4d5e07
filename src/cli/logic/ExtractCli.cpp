#include "cli/logic/ExtractCli.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <climits>

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

// Seconds as given to --timeout: a positive decimal number no larger than fits in
// milliseconds of an int.
std::optional<int> ParseSeconds(std::string_view text) {
    if (text.empty() || text.size() > 32) return std::nullopt;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || c == '.')) return std::nullopt;
    }
    double seconds = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(seconds) || seconds <= 0 || seconds * 1000.0 > INT_MAX) return std::nullopt;
    const double ms = std::ceil(seconds * 1000.0);
    return static_cast<int>(ms);
}

// A decimal number from `low` to `high`, nothing else.
std::optional<int> ParseCount(std::string_view text, int low, int high) {
    int value = 0;
    if (text.empty() || text.size() > 9) return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
    return value;
}

// The largest N of --shard K/N.
constexpr int kMaxShards = 100000;

// Which option a short letter or long name is, and whether it takes a value.
enum class Opt {
    None, Type, SaveTo, Download, Json, Timeout, Quiet, Verbose, Help, Version,
    Input, Jobs, Jsonl, Layout, Archive, Shard, Shown, MinSize, Types, AllowPrivate, AllowLocal, Retries
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
    return Opt::None;
}

bool TakesValue(Opt o) {
    return o == Opt::Type || o == Opt::SaveTo || o == Opt::Timeout || o == Opt::Input || o == Opt::Jobs ||
           o == Opt::Layout || o == Opt::Archive || o == Opt::Shard || o == Opt::MinSize || o == Opt::Types ||
           o == Opt::Retries;
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
            if (TrimView(value).empty()) return FormatS("%s needs a file", {shown});
            o.inputFile = std::string(value);
            return {};
        case Opt::Archive:
            if (TrimView(value).empty()) return FormatS("%s needs a file", {shown});
            o.archive = std::string(value);
            return {};
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
        case Opt::Shown: o.shown = true; return {};
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
    if ((o.shown || o.filter.Active()) && o.type != DocType::Images) {
        r.error = "--shown, --min-size and --types are for pictures: only with the type images";
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
    }
    return r;
}

bool IsListRun(const ExtractCliOptions& options) {
    return !options.inputFile.empty() || options.addresses.size() > 1;
}

std::string_view CliLayoutName(FolderLayout layout) { return NameOf(kLayoutNames, layout, "flat"); }

std::optional<FolderLayout> CliLayoutFromName(std::string_view name) { return ValueNamed(kLayoutNames, name); }

std::string ExtractCliUsage() {
    return "Usage: nuv-extract [options] ADDRESS...\n"
           "       nuv-extract [options] -i FILE\n"
           "Opens each page in a headless browser and prints what one extraction of the\n"
           "window program finds in it.\n"
           "\n"
           "  -t, --type TYPE     source | text | images | flash | css | other   (default: images)\n"
           "                        source  the page's markup      text   its title and text\n"
           "                        images  picture addresses      flash  Flash movie addresses\n"
           "                        css     style sheets (saved)   other  addresses of other files\n"
           "  -o, --save-to DIR   save folder; created when missing. Without it a private\n"
           "                      temporary folder is used and removed at exit.\n"
           "  -d, --download      download every listed resource into the save folder\n"
           "      --json          print one JSON document instead of plain lines (one page)\n"
           "      --shown         images: add the pictures the rendered page and its frames\n"
           "                      show (srcset, lazy attributes, CSS backgrounds, icons, ...)\n"
           "      --min-size WxH  images: keep the pictures at least W by H pixels in size\n"
           "      --types LIST    images: keep the pictures of these types, e.g. webp,png,jpg\n"
           "                      (jpg png gif webp avif jxl svg ico bmp tiff psd emf wmf other)\n"
           "      --timeout SEC   give up on loading a page after SEC seconds (default 60)\n"
           "      --retries N     try a download again up to N times (default 3) when the\n"
           "                      connection broke or stalled, or the server answered 429,\n"
           "                      502, 503 or 504: after 1, 2, 4 ... s, or what its\n"
           "                      Retry-After asks for (at most 60 s)\n"
           "  -q, --quiet         no progress on standard error\n"
           "  -v, --verbose       how long each step took and what the bounds cut, on\n"
           "                      standard error\n"
           "  -h, --help          print this help and exit\n"
           "      --version       print the version and exit\n"
           "\n"
           "Many pages:\n"
           "  -i, --input-file FILE  read addresses from FILE, one a line (\"-\": standard\n"
           "                      input); blank lines and lines starting with # are skipped\n"
           "  -j, --jobs N        pages loaded at a time (default 4); their downloads share\n"
           "                      one engine, at most 4 connections to one host\n"
           "      --jsonl         one JSON object a line for each page as it finishes\n"
           "      --layout L      flat | host | page: files into DIR, DIR/HOST/ or\n"
           "                      DIR/HOST/PATH-OF-THE-PAGE/ (default flat; equal names of\n"
           "                      different pages are numbered: a.jpg, a (2).jpg)\n"
           "      --archive FILE  SQLite file of what was downloaded where; what it holds is\n"
           "                      not downloaded again, so a stopped run can be run again\n"
           "      --shard K/N     only the addresses whose stable hash falls into part K of N\n"
           "      --allow-local-files  open the local files a list names (\"file:\" or a\n"
           "                      path); refused unless given\n"
           "\n"
           "Safety:\n"
           "  A page on the public network never makes nuv-extract connect to a private,\n"
           "  link-local or loopback address (\"private network address\"); an intranet\n"
           "  page still reaches the intranet.\n"
           "      --allow-private-network  lift that rule\n"
           "  Files are written beneath the save folder only, under cleaned names, never\n"
           "  through a link; the program's own files are never replaced.\n"
           "\n"
           "ADDRESS is completed like the window's address box: site.example/a.htm opens\n"
           "http://site.example/a.htm. A path beginning with \"/\", \"./\" or \"../\", or naming\n"
           "an existing file, opens that local file.\n"
           "\n"
           "Downloads keep the file name after the address's last \"/\" and skip web pages;\n"
           "archives and programs are skipped except for the type other. A picture found by\n"
           "--shown whose address names no type gets the extension its answer tells, and two\n"
           "of them never share a name (\"name (2).webp\").\n"
           "\n"
           "Exit status: 0 done; 1 a page could not be loaded; 2 usage error;\n"
           "3 some downloads failed; 130 or 143 stopped by SIGINT or SIGTERM.\n";
}

std::string ExtractCliVersion() {
    return "nuv-extract (" + std::string(ProductTitleText) + ") " + FormatVersion(ProductVersion) + "\n";
}

}  // namespace nuv
