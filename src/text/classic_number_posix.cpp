#include "text/classic_number.h"

#include <cstdlib>
#include <memory>
#include <type_traits>

#include <locale.h>

namespace tavrin::text {

namespace {

struct LocaleDeleter
{
    void operator()(locale_t locale) const noexcept { freelocale(locale); }
};

locale_t classicLocale()
{
    static const std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleDeleter> locale(
        newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr)));
    return locale.get();
}

} // namespace

double parseClassicNumber(const char* number)
{
    if (const locale_t locale = classicLocale())
        return strtod_l(number, nullptr, locale);
    return std::strtod(number, nullptr);
}

} // namespace tavrin::text
