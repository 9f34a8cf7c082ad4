// The URL library wired to in-memory controls, as the command line runs it, with a folder of its
// own for the files it reads and writes; test fixtures derive from it to reach them by name.
#pragma once

#include "library/url_library.h"
#include "platform/headless/memory_controls.h"
#include "platform/headless/scripted_desktop.h"
#include "state/program_state.h"
#include "support/temp_dir.h"
#include "text/messages.h"

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
    ProgramState state;
    library::UrlLibrary library{{list, siteAddress, addBox, statusLine, onlySuccess, dialogs, shell}, state};
};

} // namespace tavrin::testing_support
