#pragma once

#include <optional>
#include <string>
#include <string_view>

// Which addresses a save takes and the file each is saved to, as both programs save.
namespace nuv {

// True when the lower-cased address contains ".html", ".htm", ".asp", ".php" or ".jsp"
// anywhere (a containment test, not a test of the ending).
bool HasPageExtension(std::string_view address);

// True when the lower-cased address contains ".rar", ".exe", ".zip", ".dat" or ".tar"
// anywhere; "http://img.tarot.example/a.jpg" counts as an archive.
bool HasArchiveExtension(std::string_view address);

// The file that `address` is saved to: `targetFolder` immediately followed by the text
// after the address's last "/" (query included), cleaned by CleanNameComponent: control
// characters, "/" and "\" become "_", and a name longer than a file name may be (255
// bytes) is shortened, keeping its extension and whole UTF-8 characters. Nothing when
// the address names a web page or an archive, or when that text is "", "." or "..".
std::optional<std::string> DownloadTargetFile(std::string_view targetFolder, std::string_view address);

}  // namespace nuv
