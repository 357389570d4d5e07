#pragma once

#include <string>
#include <string_view>

// The bytes of an HTML page decoded as a browser decodes them, into UTF-8. Plain C++.
namespace nuv {

// The name of the encoding that `label` names (as the Encoding Standard lists the labels,
// ASCII case and surrounding white space ignored): "UTF-8", "windows-1252", "GBK", ...;
// "" for a label it does not know.
std::string EncodingOfLabel(std::string_view label);

// The charset parameter of a Content-Type value ("text/html; charset=gbk"), as a label; "".
std::string CharsetOfContentType(std::string_view contentType);

// The encoding that the first 1024 bytes declare in a <meta charset> or a <meta
// http-equiv="Content-Type" content="...charset=..."> (the prescan of the HTML standard);
// "" when they declare none. UTF-16 declared so reads as UTF-8.
std::string PrescanEncoding(std::string_view bytes);

struct DecodedPage {
    std::string text;      // UTF-8
    std::string encoding;  // the one used
    // Taken for want of any declaration: windows-1252, as the engine takes it.
    bool guessed = false;
};

// `bytes` decoded: by a byte order mark, else the answer's charset, else what the
// prescan finds, else guessed. Bytes the encoding cannot read become U+FFFD.
DecodedPage DecodeHtml(std::string_view bytes, std::string_view contentType);

// Whether `utf8` holds characters that gumbo replaces with U+FFFD and a browser keeps:
// the controls but tab, line feed, form feed and carriage return, and the noncharacters.
bool HoldsParserReplacedCharacters(std::string_view utf8);

}  // namespace nuv
