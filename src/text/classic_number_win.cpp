#include "text/classic_number.h"

#include <cstdlib>
#include <memory>
#include <type_traits>

#include <locale.h>
#include <stdlib.h>

namespace tavrin::text {

namespace {

struct LocaleDeleter
{
    void operator()(_locale_t locale) const noexcept { _free_locale(locale); }
};

_locale_t classicLocale()
{
    static const std::unique_ptr<std::remove_pointer_t<_locale_t>, LocaleDeleter> locale(
        _create_locale(LC_NUMERIC, "C"));
    return locale.get();
}

} // namespace

double parseClassicNumber(const char* number)
{
    if (const _locale_t locale = classicLocale())
        return _strtod_l(number, nullptr, locale);
    return std::strtod(number, nullptr);
}

} // namespace tavrin::text
