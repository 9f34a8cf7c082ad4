// What the program's logic needs of the window's controls, as small interfaces.
//
// The logic never sees a widget: the Qt front end implements these over real widgets and the
// headless backend implements them in memory (tests, the command line). Every operation here
// may be called from any thread: loaders and workers write captions, marks and the progress
// bar from their own threads, and an implementation must hand such writes to its user-interface
// thread itself.
#pragma once

#include "text/gbk_text.h"

namespace tavrin::platform {

using text::Text;

// A caption or content: labels, buttons, edit boxes. Reads give back exactly the bytes last
// written (or typed by the user).
class TextControl
{
public:
    virtual ~TextControl() = default;
    [[nodiscard]] virtual Text text() const = 0;
    virtual void setText(Text value) = 0;
};

class CheckControl
{
public:
    virtual ~CheckControl() = default;
    [[nodiscard]] virtual bool isChecked() const = 0;
    virtual void setChecked(bool checked) = 0;
};

// A progress bar with the range 0 to 100.
class ProgressControl
{
public:
    virtual ~ProgressControl() = default;
    [[nodiscard]] virtual int position() const = 0;
    virtual void setPosition(int position) = 0;
};

} // namespace tavrin::platform
