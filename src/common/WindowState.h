#pragma once

#include <string>

namespace nuv {

// The main window's state that several of its panels and windows read and write. Owned
// by the main window and lent to the panels; used on the user-interface thread only.
struct WindowState {
    std::string SaveFolder;       // the save folder, ending in "/" after each commit; written
                                  // by the saved-files panel only
    std::string CurPicName;       // the saved file that the list selects after a refresh
    int PicIndex = 0;             // the list index of CurPicName found by the last refresh
    std::string DefaultSavePath;  // the folder last chosen for a save-all-as
};

}  // namespace nuv
