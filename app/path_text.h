// Text operations of the window on UTF-8 paths: counting in characters (a multi-byte character
// is one), splitting, and recognising a file's format from its extension.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/conversion_table.h"

size_t CharacterCount(std::string_view text);
// The first n characters; empty when n <= 0, the whole text when n exceeds its length.
std::string LeftCharacters(std::string_view text, long n);

// Pieces between the separators; a trailing empty piece is dropped, an empty text gives none.
std::vector<std::string> SplitText(std::string_view text, char separator);

// What a path's extension (after the last dot of its last component, any case) says.
struct SourceKind {
    std::optional<Format> format;  // one of the ten, aliases included (jpeg, jpe, tiff)
    bool photoCd = false;          // .pcd: readable, none of the ten
};
SourceKind RecognizeExtension(std::string_view path);

// The file name without its dot and extension: a recognised extension of any length is
// removed, otherwise the last four characters go, as for the three-letter ones.
std::string BaseNameOf(std::string_view fileName);
