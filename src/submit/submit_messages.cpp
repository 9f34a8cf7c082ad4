#include "submit/submit_messages.h"

#include "text/messages.h"

namespace tavrin::submit {

text::Text submittingMessage(int number, const text::Text& url)
{
    return msg::kSubmitting + text::decimal(number) + msg::kSubmittingUrl + url;
}

} // namespace tavrin::submit
