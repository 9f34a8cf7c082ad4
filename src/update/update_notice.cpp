#include "update/update_notice.h"

#include "text/messages.h"
#include "update/text_between.h"

namespace tavrin::update {

UpdateNotice parseUpdateNotice(std::string_view page)
{
    const Text block = textBetween(text::untilNul(page), notice::kBlockStart, notice::kBlockEnd);
    UpdateNotice result;
    result.newest = textBetween(block, notice::kNewestKey, notice::kValueEnd);
    result.downloadUrl = textBetween(block, notice::kDownloadUrlKey, notice::kValueEnd);
    result.mode = textBetween(block, notice::kModeKey, notice::kValueEnd);
    // A description of several paragraphs is shown run together.
    const Text description = textBetween(block, notice::kDescriptionKey, notice::kDescriptionEnd);
    result.description = text::replaceAll(text::replaceAll(description, "<p>", ""), "</p>", "");
    return result;
}

Text updatePrompt(std::string_view currentVersion, const UpdateNotice& notice)
{
    Text prompt = msg::update::kPromptCurrent;
    prompt += currentVersion;
    prompt += msg::update::kPromptNewest + notice.newest;
    prompt += msg::update::kPromptChanges + notice.description;
    return prompt;
}

} // namespace tavrin::update
