#include "net/thread_condition.h"

namespace tavrin::net {

std::shared_ptr<std::condition_variable_any> conditionOfThisThread()
{
    thread_local const auto condition = std::make_shared<std::condition_variable_any>();
    return condition;
}

} // namespace tavrin::net
