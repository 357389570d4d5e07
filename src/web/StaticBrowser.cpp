#include "web/StaticBrowser.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>

#include "common/Text.h"
#include "web/HtmlDecoding.h"

namespace nuv {
namespace {

constexpr const char* kDeepNesting = "it nests elements more deeply than a browser's parser keeps them";

bool IsSpecialScheme(std::string_view scheme) {
    return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "ws" || scheme == "wss" ||
           scheme == "file";
}

// The scheme `text` begins with (lower case), "" when it begins with none.
std::string SchemeOf(std::string_view text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return {};
    for (size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':') return LowerAscii(text.substr(0, i));
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return {};
    }
    return {};
}

// Percent-encodes what a URL parser encodes in a reference: controls, space and bytes
// beyond ASCII everywhere; " < > ` in every part; { } and ? no more once in the query.
std::string EncodeReference(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    int part = 0;  // 0 path, 1 query, 2 fragment
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (ch == '?' && part == 0) part = 1;
        else if (ch == '#' && part < 2) part = 2;
        const bool encode = c <= 0x20 || c >= 0x7F || ch == '"' || ch == '<' || ch == '>' ||
                            (ch == '`' && part != 1) || (part == 0 && (ch == '{' || ch == '}')) ||
                            (part == 1 && ch == '\'');
        if (encode) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

struct Url {
    CURLU* h = curl_url();
    ~Url() { curl_url_cleanup(h); }
    std::optional<std::string> Get(CURLUPart part, unsigned flags = 0) const {
        char* text = nullptr;
        const CURLUcode rc = curl_url_get(h, part, &text, flags);
        std::optional<std::string> out;
        if (rc == CURLUE_OK && text) out = std::string(text);
        curl_free(text);  // curl may hand out a text with a failure too
        return out;
    }
};

// The address the links of `document`, at `url`, are resolved against: its <base>, else its own.
std::string BaseOf(const StaticDocument& document, const std::string& url) {
    const std::string href = document.BaseHref();
    return href.empty() ? url : ResolveHref(url, href).value_or(url);
}

std::string Lower(std::optional<std::string> text) { return text ? LowerAscii(*text) : std::string(); }

}  // namespace

std::optional<std::string> ResolveHref(const std::string& base, const std::string& reference) {
    std::string_view ref = reference;
    while (!ref.empty() && static_cast<unsigned char>(ref.front()) <= 0x20) ref.remove_prefix(1);
    while (!ref.empty() && static_cast<unsigned char>(ref.back()) <= 0x20) ref.remove_suffix(1);
    std::string cleaned;
    for (const char c : ref)
        if (c != '\t' && c != '\n' && c != '\r') cleaned += c;
    if (!cleaned.empty() && cleaned[0] == '#') {
        // A part of the document itself: its address with the fragment in place of its own.
        const std::optional<std::string> page = ResolveHref(base, ""), named = ResolveHref(base, "x" + cleaned);
        if (!page || !named || named->find('#') == std::string::npos) return std::nullopt;
        return *page + named->substr(named->find('#'));
    }
    const std::string scheme = SchemeOf(cleaned);
    if (!scheme.empty() && !IsSpecialScheme(scheme)) return cleaned;  // mailto:, data:, ... as written
    const std::string baseScheme = SchemeOf(base);
    if (IsSpecialScheme(scheme.empty() ? baseScheme : scheme)) {
        // Up to the query, "\" is "/" in web addresses.
        const size_t end = std::min(cleaned.find('?'), cleaned.find('#'));
        for (size_t i = 0; i < cleaned.size() && i < end; ++i)
            if (cleaned[i] == '\\') cleaned[i] = '/';
    }
    Url url;
    if (curl_url_set(url.h, CURLUPART_URL, base.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) return std::nullopt;
    if (cleaned.empty()) {
        curl_url_set(url.h, CURLUPART_FRAGMENT, nullptr, 0);
    } else if (curl_url_set(url.h, CURLUPART_URL, EncodeReference(cleaned).c_str(), CURLU_NON_SUPPORT_SCHEME) !=
               CURLUE_OK) {
        return std::nullopt;
    }
    const std::string s = Lower(url.Get(CURLUPART_SCHEME));
    std::string out = s + "://";
    if (const auto user = url.Get(CURLUPART_USER)) {
        out += *user;
        if (const auto password = url.Get(CURLUPART_PASSWORD)) out += ":" + *password;
        out += "@";
    }
    std::optional<std::string> host = url.Get(CURLUPART_HOST, CURLU_PUNYCODE);
    if (!host) host = url.Get(CURLUPART_HOST);
    if (!host && s != "file") return std::nullopt;
    out += Lower(host);
    if (const auto port = url.Get(CURLUPART_PORT, CURLU_NO_DEFAULT_PORT)) out += ":" + *port;
    out += url.Get(CURLUPART_PATH).value_or("/");
    if (const auto query = url.Get(CURLUPART_QUERY)) out += "?" + *query;
    if (const auto fragment = url.Get(CURLUPART_FRAGMENT)) out += "#" + *fragment;
    return out;
}

bool IsHtmlContentType(std::string_view contentType) {
    const std::string type = LowerAscii(TrimView(contentType.substr(0, contentType.find(';'))));
    return type.empty() || type == "text/html";
}

StaticBrowser::StaticBrowser(PageFetch fetch, bool whole, bool pictures, SheetCache* sheets)
    : fetch_(std::move(fetch)), whole_(whole), pictures_(pictures), sheets_(sheets) {}

StaticBrowser::~StaticBrowser() = default;

void StaticBrowser::Need(const std::string& why) {
    if (needsBrowser_.empty()) needsBrowser_ = why;
}

std::string StaticBrowser::Decode(const FetchedPage& page) {
    DecodedPage decoded = DecodeHtml(page.body, page.contentType);
    // The engine may detect another encoding than the one a page without a declaration gets.
    if (decoded.guessed &&
        std::any_of(page.body.begin(), page.body.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        Need("its encoding is not declared");
    if (HoldsParserReplacedCharacters(decoded.text)) Need("it holds control characters");
    return std::move(decoded.text);
}

void StaticBrowser::Navigate(const std::string& address) {
    document_.reset();
    failure_.clear();
    needsBrowser_.clear();
    shown_.clear();
    framesRead_ = 0;
    ready_ = ready_state::kLoading;
    FetchedPage page;
    try {
        page = fetch_(address, std::string());
    } catch (const std::exception& e) {
        failure_ = e.what();
        ready_ = ready_state::kComplete;
        return;
    }
    location_ = page.address.empty() ? address : page.address;
    if (!IsHtmlContentType(page.contentType)) Need("the answer is " + page.contentType + ", not HTML");
    std::string text = Decode(page);
    if (NestsBeyond(text, kDeepestStaticNesting)) {
        // Read as it stands, it would be a document the browser does not make, and one
        // that takes long to make.
        Need(kDeepNesting);
        if (whole_) failure_ = std::string(kDeepNesting) + "; it is not read without one";
        text.clear();
    }
    document_ = std::make_unique<StaticDocument>(text);
    tree_ = ReadFrames(*document_, location_, 0);
    base_ = BaseOf(*document_, location_);
    ready_ = ready_state::kComplete;
}

FrameDocument StaticBrowser::ReadFrames(const StaticDocument& document, const std::string& url, int depth) {
    FrameDocument node{url, {}, false};
    const DocumentFacts facts = document.Facts();
    if (facts.scripts) Need("it runs scripts");
    if (facts.refresh) Need("it refreshes to another page");
    if (facts.noscript) Need("it has a <noscript>");
    if (facts.embeddedPages) Need("it embeds an object that may be a page");
    if (facts.lazyFrames) Need("it has lazily loaded frames");
    if (facts.deepNesting) Need(kDeepNesting);
    if (pictures_ && (needsBrowser_.empty() || whole_)) {
        // A style sheet that answers with a failure is none, as in a browser; one that
        // cannot be had at all leaves the page's pictures to the browser.
        const SheetFetch sheet = [this, &url](const std::string& address) -> std::optional<std::string> {
            if (sheets_ != nullptr)
                if (std::optional<SheetCache::Sheet> kept = sheets_->Find(address)) return std::move(kept->text);
            SheetCache::Sheet sheet;
            try {
                sheet.text = fetch_(address, url).body;
            } catch (const PageStatusError& e) {
                sheet.status = e.Status();
                sheet.failure = e.Answer();
            } catch (const std::exception&) {
                return std::nullopt;
            }
            if (sheets_ != nullptr) sheets_->Keep(address, sheet);
            return std::move(sheet.text);
        };
        shown_.push_back(document.ShownPictures(url, sheet, kShownPicturesOfADocument,
                                                sheets_ != nullptr ? &sheets_->Rules() : nullptr));
        if (!shown_.back().needsBrowser.empty()) Need(shown_.back().needsBrowser);
    }
    const std::string base = BaseOf(document, url);
    for (const FrameElement& frame : document.Frames()) {
        if (!needsBrowser_.empty() && !whole_) break;
        if (frame.srcdoc) {
            Need("it has a frame of its own markup (srcdoc)");
            node.frames.push_back({"about:srcdoc", {}, false});
            continue;
        }
        const std::optional<std::string> source =
            frame.source.empty() ? std::optional<std::string>("about:blank") : ResolveHref(base, frame.source);
        if (!source || StartsWith(*source, "about:")) {
            node.frames.push_back({source.value_or("about:blank"), {}, false});
            continue;
        }
        if (depth >= 8 || ++framesRead_ > kMostStaticFrames) {
            Need("it has more frames than are read without a browser");
            break;
        }
        FetchedPage page;
        try {
            page = fetch_(*source, url);
        } catch (const std::exception&) {
            // The engine's frame holds its error page, at the address asked for.
            Need("a frame's page could not be fetched");
            node.frames.push_back({*source, {}, false});
            continue;
        }
        if (!IsHtmlContentType(page.contentType)) {
            Need("a frame holds " + page.contentType + ", not HTML");
            node.frames.push_back({page.address.empty() ? *source : page.address, {}, false});
            continue;
        }
        const std::string text = Decode(page);
        if (NestsBeyond(text, kDeepestStaticNesting)) {
            Need(kDeepNesting);
            node.frames.push_back({page.address.empty() ? *source : page.address, {}, false});
            continue;
        }
        const StaticDocument inner(text);
        node.frames.push_back(ReadFrames(inner, page.address.empty() ? *source : page.address, depth + 1));
    }
    return node;
}

void StaticBrowser::LoadDocumentFromMemory(const std::string& html) {
    document_ = std::make_unique<StaticDocument>(html);
    shown_.clear();
    tree_ = FrameDocument{location_, {}, false};
    ready_ = ready_state::kComplete;
}

std::string StaticBrowser::DocumentTitle() { throw BrowserError("the page's text is read by a browser"); }
std::string StaticBrowser::BodyInnerText() { throw BrowserError("the page's text is read by a browser"); }

std::string StaticBrowser::TopElementOuterHtml() {
    if (!document_) throw BrowserError("no document");
    return document_->TopElementOuterHtml();
}

FrameDocument StaticBrowser::DocumentTree() {
    if (!document_) throw BrowserError("no document");
    return tree_;
}

DocumentLinkList StaticBrowser::DocumentLinks(size_t limit) {
    if (!document_) throw BrowserError("no document");
    DocumentLinkList out;
    for (const std::string& href : document_->LinkHrefs()) {
        if (out.links.size() >= limit) {
            ++out.cut;
            continue;
        }
        // A link whose address cannot be parsed gives its href as written, as a browser does.
        out.links.push_back(ResolveHref(base_, href).value_or(href));
    }
    return out;
}

ShownPictureList StaticBrowser::ShownPictures(size_t limit) {
    if (!document_) throw BrowserError("no document");
    ShownPictureList out;
    for (const DocumentPictures& document : shown_) {
        out.picturesCut += document.cut;
        for (const ShownPicture& picture : document.pictures) {
            if (out.pictures.size() < limit) out.pictures.push_back(picture);
            else ++out.picturesCut;
        }
    }
    return out;
}

}  // namespace nuv
