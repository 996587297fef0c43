// File names are bytes; JSON text must be UTF-8. Names that are not valid UTF-8 are made so.
#pragma once

#include <string>
#include <string_view>

namespace vantrel::cli {

// `bytes` unchanged when it is valid UTF-8. Otherwise every byte that is not part of a valid
// UTF-8 sequence (overlong forms and surrogates count as invalid) becomes the four characters
// \xHH (upper-case hex), so that two different names stay different and the bytes can be
// recovered. Only a name that itself holds the text "\x" and two hex digits, beside one holding
// that byte, could look the same.
std::string ValidUtf8(std::string_view bytes);

}  // namespace vantrel::cli
