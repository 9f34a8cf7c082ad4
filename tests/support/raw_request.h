// A raw HTTP request taken apart for checks: its lines in order and its body.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace tavrin::testing_support {

struct RawRequest
{
    std::vector<std::string> lines; // request line first, without CR LF
    std::string body;

    explicit RawRequest(const std::string& raw)
    {
        const std::size_t headEnd = raw.find("\r\n\r\n");
        const std::string head = raw.substr(0, headEnd);
        body = headEnd == std::string::npos ? std::string() : raw.substr(headEnd + 4);
        std::size_t start = 0;
        while (start <= head.size()) {
            const std::size_t end = std::min(head.find("\r\n", start), head.size());
            lines.push_back(head.substr(start, end - start));
            start = end + 2;
        }
    }

    [[nodiscard]] bool has(const std::string& line) const
    {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    // True when some line starts with `name` followed by ":" in any letter case.
    [[nodiscard]] bool hasHeader(std::string name) const
    {
        name += ':';
        const auto lower = [](std::string s) {
            for (char& c : s)
                c = static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
            return s;
        };
        return std::any_of(lines.begin() + 1, lines.end(), [&](const std::string& line) {
            return lower(line.substr(0, name.size())) == lower(name);
        });
    }

    // Index of the exact line, or -1.
    [[nodiscard]] long indexOf(const std::string& line) const
    {
        const auto found = std::find(lines.begin(), lines.end(), line);
        return found == lines.end() ? -1 : static_cast<long>(found - lines.begin());
    }
};

} // namespace tavrin::testing_support
