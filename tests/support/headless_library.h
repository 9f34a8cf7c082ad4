// The URL library and the window's handlers for it, wired to in-memory controls, with a folder
// of its own for the files they read and write; test fixtures derive from it to reach them by
// name.
#pragma once

#include "library/url_library.h"
#include "platform/headless/memory_controls.h"
#include "platform/headless/scripted_desktop.h"
#include "support/temp_dir.h"
#include "text/messages.h"
#include "window/library_handlers.h"

namespace tavrin::testing_support {

struct HeadlessLibrary
{
    explicit HeadlessLibrary(text::Text address)
        : siteAddress(std::move(address))
    {}

    // First: removed last, after the library has let go of its files.
    TempDir dir;
    base::ListStore list;
    platform::MemoryTextControl siteAddress;
    platform::MemoryTextControl addBox;
    platform::MemoryTextControl statusLine{msg::kStatusInitial};
    platform::MemoryCheckControl onlySuccess;
    platform::ScriptedDialogs dialogs;
    platform::RecordingShell shell;
    library::UrlLibrary library{list, siteAddress.text()};
    window::LibraryHandlers handlers{{list, siteAddress, addBox, statusLine, onlySuccess, dialogs, shell},
                                     library};
};

} // namespace tavrin::testing_support
