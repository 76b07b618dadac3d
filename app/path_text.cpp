#include "app/path_text.h"

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

struct Alias {
    const char* extension;
    Format format;
};
constexpr Alias kAliases[] = {{"jpeg", Format::Jpg}, {"jpe", Format::Jpg}, {"tiff", Format::Tif}};

// The text after the last dot of the last path component; empty when there is none.
std::string_view ExtensionOf(std::string_view path) {
    size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return {};
    std::string_view extension = path.substr(dot + 1);
    if (extension.find('/') != std::string_view::npos) return {};
    return extension;
}

}  // namespace

size_t CharacterCount(std::string_view text) {
    size_t count = 0;
    for (char c : text) count += IsContinuationByte(c) ? 0 : 1;
    return count;
}

std::string LeftCharacters(std::string_view text, long n) {
    if (n <= 0) return {};
    size_t end = 0;
    for (long taken = 0; end < text.size(); ++taken) {
        if (taken == n) break;
        ++end;
        while (end < text.size() && IsContinuationByte(text[end])) ++end;
    }
    return std::string(text.substr(0, end));
}

std::vector<std::string> SplitText(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    if (text.empty()) return pieces;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            pieces.emplace_back(text.substr(start));
            break;
        }
        pieces.emplace_back(text.substr(start, at - start));
        start = at + 1;
    }
    if (pieces.back().empty()) pieces.pop_back();
    return pieces;
}

SourceKind RecognizeExtension(std::string_view path) {
    std::string extension = AsciiLower(ExtensionOf(path));
    SourceKind kind;
    if (extension.empty()) return kind;
    for (const ConversionRow& row : kConversions) {
        if (extension == row.key) kind.format = row.format;
    }
    for (const Alias& alias : kAliases) {
        if (extension == alias.extension) kind.format = alias.format;
    }
    kind.photoCd = extension == "pcd";
    return kind;
}

std::string BaseNameOf(std::string_view fileName) {
    SourceKind kind = RecognizeExtension(fileName);
    if (kind.format || kind.photoCd) {
        return std::string(fileName.substr(0, fileName.size() - ExtensionOf(fileName).size() - 1));
    }
    return LeftCharacters(fileName, static_cast<long>(CharacterCount(fileName)) - 4);
}
