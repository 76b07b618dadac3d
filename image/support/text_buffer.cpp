#include "image/support/text_buffer.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

// Length of the UTF-8 sequence that starts with byte b; stray continuation bytes and invalid
// lead bytes count as one-byte characters so that any byte string can be walked.
size_t SequenceLength(unsigned char b) {
    if (b >= 0xF0 && b <= 0xF4) return 4;
    if (b >= 0xE0) return b <= 0xEF ? 3 : 1;
    if (b >= 0xC2) return 2;
    return 1;
}

}  // namespace

int32_t TextBuffer::CountCharacters(const std::string& s) {
    int32_t n = 0;
    for (size_t i = 0; i < s.size(); ++n) {
        size_t len = SequenceLength(static_cast<unsigned char>(s[i]));
        i += (i + len <= s.size()) ? len : 1;
    }
    return n;
}

size_t TextBuffer::SkipCharacters(size_t from, int32_t count) const {
    size_t i = from;
    for (int32_t c = 0; c < count && i < text.size(); ++c) {
        size_t len = SequenceLength(static_cast<unsigned char>(text[i]));
        i += (i + len <= text.size()) ? len : 1;
    }
    return i;
}

int32_t TextBuffer::Assign(const char* value) {
    if (value == nullptr || *value == '\0') {
        Free();
        return 0;
    }
    std::string copy(value);
    text.swap(copy);
    charCount = CountCharacters(text);
    return 1;
}

int32_t TextBuffer::Append(const char* value) {
    if (value == nullptr || *value == '\0') return 0;
    if (text.empty()) return Assign(value);
    text.append(value);
    charCount = CountCharacters(text);
    return 1;
}

int32_t TextBuffer::AppendNumber(int32_t n) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%ld", static_cast<long>(n));
    return Append(digits);
}

int32_t TextBuffer::Left(TextBuffer& out, int32_t n) const {
    if (n < 0 || n > charCount) return 0;
    std::string part = text.substr(0, SkipCharacters(0, n));
    if (part.empty()) out.Free(); else out.Assign(part.c_str());
    return 1;
}

int32_t TextBuffer::Right(TextBuffer& out, int32_t n) const {
    if (n < 0 || n > charCount) return 0;
    std::string part = text.substr(SkipCharacters(0, charCount - n));
    if (part.empty()) out.Free(); else out.Assign(part.c_str());
    return 1;
}

int32_t TextBuffer::Mid(TextBuffer& out, int32_t start, int32_t count) const {
    if (start < 1 || count < 0) return 0;
    size_t begin = SkipCharacters(0, start - 1);
    size_t end = SkipCharacters(begin, count);
    std::string part = text.substr(begin, end - begin);
    if (part.empty()) {
        out.Free();
        return 0;
    }
    return out.Assign(part.c_str());
}

int32_t TextBuffer::Equals(const char* other, int32_t ignoreCase) const {
    if (other == nullptr) other = "";
    if (ignoreCase == 1) return strcasecmp(text.c_str(), other) == 0 ? 1 : 0;
    return text == other ? 1 : 0;
}

void TextBuffer::Free() {
    std::string().swap(text);
    charCount = 0;
}
