// Owns one iconv descriptor. A descriptor carries conversion (shift) state and must never be
// shared between threads: each thread or each conversion opens its own.
#pragma once

#include <iconv.h>

namespace tavrin::text {

class IconvDescriptor
{
public:
    IconvDescriptor(const char* toCode, const char* fromCode) noexcept
        : descriptor_(iconv_open(toCode, fromCode))
    {}
    ~IconvDescriptor()
    {
        if (isOpen())
            iconv_close(descriptor_);
    }
    IconvDescriptor(const IconvDescriptor&) = delete;
    IconvDescriptor& operator=(const IconvDescriptor&) = delete;

    [[nodiscard]] bool isOpen() const noexcept { return descriptor_ != invalidDescriptor(); }
    [[nodiscard]] iconv_t get() const noexcept { return descriptor_; }

    // Back to the initial shift state; needed after an interrupted conversion.
    void reset() const noexcept { iconv(descriptor_, nullptr, nullptr, nullptr, nullptr); }

private:
    // iconv_open reports a failure as the descriptor (iconv_t)-1.
    static iconv_t invalidDescriptor() noexcept
    {
        return reinterpret_cast<iconv_t>(-1); // NOLINT(performance-no-int-to-ptr)
    }

    iconv_t descriptor_;
};

} // namespace tavrin::text
