// Helpers shared by the tests: private scratch folders, a private temporary folder whose
// emptiness is checked, running commands, whole-file I/O and independent decoders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/raster_image.h"

using Bytes = std::vector<uint8_t>;

// A fresh folder, removed with everything in it when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return path; }
    std::string File(const std::string& name) const { return path + "/" + name; }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> List() const;

private:
    std::string path;
};

// Points TMPDIR at a folder of its own for the object's lifetime, so that a test can see every
// temporary file the library makes. The destructor restores TMPDIR.
class PrivateTempFolder {
public:
    PrivateTempFolder();
    ~PrivateTempFolder();
    const std::string& Path() const { return dir.Path(); }
    std::vector<std::string> Leftovers() const { return dir.List(); }

private:
    ScratchDir dir;
    std::string saved;
    bool hadSaved = false;
};

// Lowers this process's file size limit for the object's lifetime, so that writes beyond it fail
// with EFBIG (the signal it would raise is ignored meanwhile): a full disk without a device.
class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    uint64_t savedLimit = 0;
    void (*savedHandler)(int) = nullptr;
};

struct CommandResult {
    int status = -1;  // exit status, or -1 when the command did not exit normally
    std::string output;  // standard output
    std::string errors;  // standard error
};
// Runs argv (no shell) with extra environment assignments "NAME=value".
CommandResult RunProgram(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment = {});
// Runs a shell command line; returns its exit status and standard output.
CommandResult RunShell(const std::string& commandLine);

Bytes ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& bytes);
bool PathExists(const std::string& path);

// A deterministic 24-bit picture with smooth gradients and some sharp detail.
void FillTestPicture(RasterImage& image, int32_t width, int32_t height, uint32_t seed = 1);

// Writes FillTestPicture's picture as a 24-bit BMP at path (our own writer); returns the picture.
void WriteTestBmp(const std::string& path, int32_t width, int32_t height, RasterImage& picture,
                  uint32_t seed = 1);

// An independent decoder's view of a file: width, height and 8-bit R, G, B pixels.
struct DecodedPicture {
    int32_t width = 0;
    int32_t height = 0;
    Bytes rgb;
};
// ImageMagick (Debian's convert-im6); false when it could not decode.
bool DecodeWithImageMagick(const std::string& path, DecodedPicture& out);
// Pillow under Debian's python3.
bool DecodeWithPillow(const std::string& path, DecodedPicture& out);
// netpbm (any PBM, PGM or PPM, raw or plain, through ppmtoppm).
bool DecodeWithNetpbm(const std::string& path, DecodedPicture& out);
// Qt 5's image readers with the KDE image-format plugins (PyQt5 under Debian's python3).
bool DecodeWithQt(const std::string& path, DecodedPicture& out);
// The picture's pixels as R, G, B bytes (any depth converted as the library converts).
Bytes RgbOf(const RasterImage& image);

// The command-line tool built beside the tests.
std::string CliPath();
