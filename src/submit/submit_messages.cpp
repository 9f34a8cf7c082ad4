#include "submit/submit_messages.h"

#include "text/messages.h"

namespace tavrin::submit {

text::Text submittingMessage(int number, const text::Text& url)
{
    return msg::kSubmitting + text::decimal(number) + msg::kSubmittingUrl + url;
}

text::Text roundCompletedMessage(int round)
{
    return text::replaceAll(msg::kRoundCompleted, msg::kNumberSlot, text::decimal(round));
}

} // namespace tavrin::submit
