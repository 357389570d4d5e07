#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The rules for pictures as today's sites serve them: which type a listed picture is, the
// names under which the pictures the page shows are saved, and the filter of the image
// result. Plain C++; the result window and nuv-extract share them.
namespace nuv {

// The picture types told apart, each named by its usual extension, in the order the
// filters list them; kOtherPictureType stands for every other or unknown type.
const std::vector<std::string>& PictureTypeNames();
inline constexpr std::string_view kOtherPictureType = "other";

// The type an extension (without its dot, any case) names: "jpeg", "jpe" and "jfif" are
// "jpg", "tif" is "tiff", "svgz" is "svg", "cur" is "ico", "apng" is "png". "" for none.
std::string PictureTypeOfExtension(std::string_view extension);

// The type a MIME type names ("image/webp", "IMAGE/SVG+XML; charset=utf-8"); "" for none.
std::string PictureTypeOfMime(std::string_view mime);

// The type of a listed picture: by the extension of the last segment of its address's
// path (query and fragment left out), else by the type its page declared for it, else
// kOtherPictureType.
std::string PictureTypeOf(std::string_view address, std::string_view declaredType);

// The extension, with its dot, that the first bytes of a file show it to be by their
// signature (JPEG, PNG, GIF, WebP, AVIF, JPEG XL, SVG, ICO, BMP, TIFF); "" when none.
std::string SniffPictureExtension(std::string_view head);

// The extension a shown picture whose address names none gets after its download: the one
// of the answer's Content-Type when that names a picture type, else the one of the file's
// first bytes, else "".
std::string ExtensionFromAnswer(std::string_view contentType, std::string_view head);

// The name under which a picture the page shows is saved: the last segment of its
// address's path, without query and fragment, percent-decoded when that gives readable
// UTF-8. A segment without a picture extension (an image service's "image?url=%2Fa%2Fhero.jpg")
// takes the name of the address its query holds ("hero"), and its extension comes from
// the answer. A name that would be empty or hidden becomes "picture".
struct ShownFileName {
    std::string stem;       // the name without its extension, at most 230 bytes
    std::string extension;  // with its dot, as written in the address; "" when the answer decides
};
ShownFileName ShownPictureFileName(std::string_view address);

// The target of one picture of a batch.
struct PictureTarget {
    // The file; for a shown picture whose type the answer decides, the file without its
    // extension. "" when the address is not downloaded.
    std::string file;
    bool extensionFromAnswer = false;
    bool shown = false;  // a picture the page showed
};

// The targets of a batch into `folder` (ending in "/"). An entry that is not shown keeps
// the result window's rule (DownloadTargetFile: the text after the last "/"; web pages
// and archives skipped). A shown picture gets ShownPictureFileName, numbered (" (2)",
// " (3)", ...) where its name is taken in the batch, compared without regard to ASCII
// case; one whose extension the answer decides keeps clear of every name on its stem
// ("hero.jpg", "hero.webp"). So no picture of the batch overwrites another.
std::vector<PictureTarget> PlanPictureTargets(std::string_view folder, const std::vector<std::string>& addresses,
                                              const std::vector<bool>& shown);

// The target of a shown picture downloaded alone (a click in the result page).
PictureTarget ShownPictureTarget(std::string_view folder, std::string_view address);

// Where a picture whose extension the answer decides is downloaded to first: a name in
// the same folder that folder listings leave out.
std::string ProvisionalPictureFile(const std::string& stemFile);

// The file that the finished download `provisional` is to become: `stemFile` followed by
// ExtensionFromAnswer of the answer's Content-Type and the file's first bytes.
std::string AnsweredPictureFile(const std::string& provisional, const std::string& stemFile,
                                std::string_view contentType);

// Renames the finished download `provisional` to `target`, replacing an older file of that
// name. Throws DownloadError (Write) when it cannot; the provisional file is then removed.
void MoveFinishedDownload(const std::string& provisional, const std::string& target);

// Both: renames the finished download to its answered name and returns that name.
std::string FinishPictureDownload(const std::string& provisional, const std::string& stemFile,
                                  std::string_view contentType);

// The filter of the image result: a smallest natural width and height, and the types to
// keep (none: every type).
struct PictureFilter {
    int minWidth = 0;
    int minHeight = 0;
    std::vector<std::string> types;
    bool Active() const { return minWidth > 0 || minHeight > 0 || !types.empty(); }
};

// Whether a picture of `type` and natural size `width` x `height` (0 x 0 when unknown)
// passes: at least the smallest size, and of a kept type.
bool PassesPictureFilter(const PictureFilter& filter, std::string_view type, int width, int height);

// "WxH" (also "W×H"), each a whole number up to 100000; nothing for anything else.
std::optional<std::pair<int, int>> ParseMinSize(std::string_view text);

// A comma-separated list of names of PictureTypeNames (their aliases too, any case),
// normalised and without repeats; nothing, with `error` set, for an unknown or missing name.
std::optional<std::vector<std::string>> ParsePictureTypes(std::string_view text, std::string& error);

}  // namespace nuv
