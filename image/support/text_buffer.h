// A heap string for paths and composed texts. Characters are UTF-8 sequences: a multi-byte
// character counts once in GetCharCount, Left, Right and Mid, and is never split.
#pragma once

#include <cstdint>
#include <string>

class TextBuffer {
public:
    TextBuffer() = default;
    explicit TextBuffer(const char* text) { Assign(text); }
    TextBuffer(const TextBuffer& other) { AssignFrom(other); }
    TextBuffer& operator=(const TextBuffer& other) {
        if (this != &other) {
            if (other.IsEmpty()) Free(); else AssignFrom(other);
        }
        return *this;
    }

    // Replaces the content; an empty or null text leaves the buffer empty and returns 0.
    int32_t Assign(const char* text);
    int32_t AssignFrom(const TextBuffer& other) { return Assign(other.GetText()); }
    // Appends; appending an empty or null text changes nothing and returns 0.
    int32_t Append(const char* text);
    int32_t AppendFrom(const TextBuffer& other) { return Append(other.GetText()); }
    int32_t AppendNumber(int32_t n);

    // Assign the first or last n characters to out; 0 when n exceeds the character count.
    int32_t Left(TextBuffer& out, int32_t n) const;
    int32_t Right(TextBuffer& out, int32_t n) const;
    // Assigns count characters from the 1-based character position start (fewer at the end).
    int32_t Mid(TextBuffer& out, int32_t start, int32_t count) const;
    // 1 when the contents equal text; ignoreCase compares ASCII letters without regard to case.
    int32_t Equals(const char* text, int32_t ignoreCase) const;

    // Never null: an empty buffer reads as "".
    const char* GetText() const { return text.c_str(); }
    int32_t GetCharCount() const { return charCount; }
    bool IsEmpty() const { return text.empty(); }
    void Free();

private:
    // Byte offset of the character after the count characters that start at byte offset from.
    size_t SkipCharacters(size_t from, int32_t count) const;
    static int32_t CountCharacters(const std::string& s);

    std::string text;
    int32_t charCount = 0;
};
