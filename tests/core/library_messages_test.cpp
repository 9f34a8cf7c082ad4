// The window's messages name files as the user reads them: the whole name, whatever its
// characters, and on Windows with backslashes although Qt's dialogs give forward slashes.
#include "library/library_messages.h"

#include "base/utf8_path.h"
#include "text/encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using tavrin::text::utf8ToGbk;

struct ShownPath
{
    const char* given;   // as a dialog gives it (UTF-8)
    const char* posix;   // as shown on Linux
    const char* windows; // as shown on Windows
};

TEST(LibraryMessages, NameTheFileAsTheUserReadsIt)
{
    for (const ShownPath& c :
         {ShownPath{"C:/网址/列表 二.txt", "C:/网址/列表 二.txt", "C:\\网址\\列表 二.txt"},
          ShownPath{"/home/用户/url.txt", "/home/用户/url.txt", "\\home\\用户\\url.txt"},
          // Outside every single-byte code page and outside GBK's own: the
          // message may lose the character, never the rest of the name.
          ShownPath{"D:/data/€ and 😀.txt", "D:/data/€ and 😀.txt", "D:\\data\\€ and 😀.txt"}}) {
        SCOPED_TRACE(c.given);
#ifdef _WIN32
        const std::string shown = c.windows;
#else
        const std::string shown = c.posix;
#endif
        const auto path = tavrin::base::pathFromUtf8(c.given);
        const std::string saved = tavrin::library::savedMessage(3, path);
        EXPECT_EQ(saved, utf8ToGbk("已保存3个网址到：" + shown));
        const std::string failed = tavrin::library::saveFailedMessage(path, "disk full");
        EXPECT_EQ(failed, utf8ToGbk("保存失败，原文件未改动：" + shown + "（disk full）"));
    }
}

} // namespace
