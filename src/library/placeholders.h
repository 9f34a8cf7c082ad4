// The placeholders other tools put in their query-URL templates, and the sample host some lists
// carry in place of one, turned into this program's own "{$url}".
//
// Every function here takes and gives GBK text and steps over double-byte characters as units,
// so a trail byte that happens to be '{', '[' or an ASCII letter is never taken for part of a
// placeholder or a host.
#pragma once

#include "text/gbk_text.h"

#include <string_view>

namespace tavrin::library {

using text::Text;

enum class PlaceholderMapping
{
    // The line holds no placeholder of another tool; it stays as it is.
    Unchanged,
    // Every placeholder it holds became "{$url}".
    Mapped,
    // It holds a placeholder no host can stand for ({{ID}}, {{SECOND_LEVEL_DOMAIN}}): the
    // template cannot be used.
    Unmappable,
};

// Turns the placeholders of other tools into "{$url}":
//   {{DOMAIN}}, {{HOST}}, {{URL}}, {{NOPROTOCOL_URL}} and their ENCODE_ forms ({{ENCODE_HOST}}
//   ...), in any letter case and with blanks inside the braces allowed;
//   the same names in square brackets, in capitals only ([DOMAIN], [ENCODE_URL]): lower-case
//   names in brackets are ordinary URL text (a PHP-style "?q[url]=");
//   and {domain}.
// Any other {{NAME}}, and any other [NAME] of two or more capitals, digits and underscores
// starting with a capital, is a placeholder that cannot be mapped. This program only ever puts
// the bare host where "{$url}" stands, so a template written for {{URL}} (a full address with
// its scheme in the tool it came from) gets the host, not a full URL.
// `mapped` receives the new line when the result is Mapped; otherwise its content is
// unspecified.
[[nodiscard]] PlaceholderMapping mapForeignPlaceholders(std::string_view line, Text& mapped);

// True when the text holds "{$url}" or a placeholder of another tool, mapped or not.
[[nodiscard]] bool holdsPlaceholder(std::string_view text);

// Every occurrence of `sampleHost` (an ASCII host, matched without regard to letter case) that
// stands as a host of its own turned into "{$url}": not right after a letter, digit, '.' or
// '-', and not right before a letter, digit, '-' or a dot followed by another label. So with
// "example.com", "www.example.com", "myexample.com" and "example.com.cn" stay, while in
// "http://whois.example.com/example.com.html" the second one is replaced: a dot before a file's
// extension ends the host, as does a dot that no label follows ("example.com./", the end of a
// sentence). A percent-escape counts as the character it encodes, so "site%3Aexample.com" and
// "http%3A%2F%2Fexample.com" are replaced and "www%2Eexample.com" is not. An empty sample
// changes nothing.
[[nodiscard]] Text replaceSampleHost(std::string_view line, std::string_view sampleHost);

} // namespace tavrin::library
