#pragma once

#include <string>
#include <string_view>

// Handing files, folders, addresses and programs to the desktop.
namespace nuv {

// The desktop's opener. The Qt layer implements it; tests record the calls.
class IShell {
public:
    virtual ~IShell() = default;

    // Opens `target`, passed exactly as given: a text that begins with "/" or "file:"
    // is a local file or folder (a file opens with its associated program, a folder in
    // the file manager), anything else is an address for the default browser or the
    // handler of its scheme. Returns false when the desktop refused it.
    virtual bool Open(const std::string& target) = 0;

    // Starts the program at `program` detached, without arguments. Returns false when
    // it could not be started.
    virtual bool StartProgram(const std::string& program) = 0;
};

// True when `text`, trimmed and lower-cased, begins with "http://" or "https://".
bool IsWebAddress(std::string_view text);

// Opens an address, file or folder after classifying it; the desktop gets only web
// addresses and local files. A text that begins with "/" is a local path, opened when a
// file or folder of that name exists. A web address (see IsWebAddress) is opened
// unchanged; any other text containing "http:" or "https:" is ignored. A text with no
// ":" is taken for a host and opened as "http://" + text; a text with ":" that names an
// existing file or folder of the current folder is opened by its full path. Everything
// else (mailto:, ftp:, about:blank, a missing file) and a blank text are ignored. Never
// throws.
void OpenLocation(IShell& shell, std::string_view target);

// Opens a web address, putting "http://" in front when it has no "://". An address with
// "://" of another scheme than http or https, and a blank text, are ignored. Never throws.
void OpenWebAddress(IShell& shell, std::string_view address);

// Opens any text without a test: a saved file, a folder or an address. Never throws.
void ShellOpen(IShell& shell, std::string_view text);

}  // namespace nuv
