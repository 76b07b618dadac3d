// Fuzz inputs reach the readers as files, as real sources do: each input is written to a file in
// a private folder that also serves as the library's temporary folder, so that a scratch file a
// reader forgets to remove shows up as an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size);
    ~FuzzInput();
    const char* Path() const { return path.c_str(); }
    const std::string& Folder() const { return folder; }

private:
    std::string folder;
    std::string path;
};
