// The update notice: a web page (a blog article) holding, somewhere in its HTML, a block of
// marked lines that names the newest version, where to get it and what changed:
//
//   ////开始
//   <p>最新版=2.1</p><p>下载地址=http://host/setup.exe</p><p>下载方式=下载文件</p>
//   <p>更新说明=</p><p>first change</p><p>second change更新说明结束</p>
//   ////结束
//
// The keys may stand in any order: each is searched from the start of the block.
#pragma once

#include "text/encoding.h"
#include "text/gbk_text.h"

#include <string_view>

namespace tavrin::update {

using text::Text;

// The markers, matched byte for byte (GBK) and case-sensitively.
namespace notice {
inline const Text kBlockStart = text::utf8ToGbk("////开始");
inline const Text kBlockEnd = text::utf8ToGbk("////结束");
inline const Text kNewestKey = text::utf8ToGbk("最新版=");
inline const Text kDownloadUrlKey = text::utf8ToGbk("下载地址=");
inline const Text kModeKey = text::utf8ToGbk("下载方式=");
inline const Text kDescriptionKey = text::utf8ToGbk("更新说明=");
inline const Text kValueEnd = "</p>";
inline const Text kDescriptionEnd = text::utf8ToGbk("更新说明结束</p>");
// The only mode that downloads.
inline const Text kModeDownloadFile = text::utf8ToGbk("下载文件");
} // namespace notice

struct UpdateNotice
{
    Text newest;      // the newest version as written, e.g. "2.1"
    Text downloadUrl; // where the new file is, its name the last "/" segment
    Text mode;        // "下载文件" or anything else
    Text description; // the changes, "<p>" and "</p>" removed; other tags stay

    friend bool operator==(const UpdateNotice&, const UpdateNotice&) = default;
};

// Reads the block of a fetched page (bytes; the text ends at the first NUL byte). A page
// without the block gives a notice whose values are empty, or cut from wherever the markers'
// rules (textBetween) lead.
[[nodiscard]] UpdateNotice parseUpdateNotice(std::string_view page);

// The question put to the user: both versions and the changes.
[[nodiscard]] Text updatePrompt(std::string_view currentVersion, const UpdateNotice& notice);

} // namespace tavrin::update
