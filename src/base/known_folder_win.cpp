#include "base/known_folder.h"

#include <memory>

#include <objbase.h>

namespace tavrin::base {

namespace {

struct TaskMemoryDeleter
{
    void operator()(wchar_t* memory) const noexcept { ::CoTaskMemFree(memory); }
};

} // namespace

std::filesystem::path knownFolderPath(const KNOWNFOLDERID& id, DWORD flags)
{
    wchar_t* raw = nullptr;
    const HRESULT found = ::SHGetKnownFolderPath(id, flags, nullptr, &raw);
    // The shell hands over its memory even when it fails.
    const std::unique_ptr<wchar_t, TaskMemoryDeleter> owned(raw);
    if (FAILED(found) || !raw)
        return {};
    return std::filesystem::path(raw);
}

} // namespace tavrin::base
