#include "formats/sgi.h"

#include <cstring>

#include "image/support/byte_order.h"
#include "image/support/heap_block.h"

namespace {

constexpr uint32_t kMagic = 474;
constexpr const char* kImageName = "Quennelbrightwax SGI Exports";
// The header's sizes are 16-bit fields.
constexpr uint32_t kMaxSide = 65535;

}  // namespace

int32_t SgiCodec::Close() {
    file.Reset();
    callback = nullptr;
    writeOpen = false;
    std::memset(header, 0, sizeof header);
    path.Free();
    depth = 0;
    width = height = 0;
    image = nullptr;
    return 1;
}

int32_t SgiCodec::OpenWrite(const char* newPath, RasterImage* newImage, uint32_t, int32_t,
                            ProgressCallback newCallback) {
    Close();
    if (newPath == nullptr || newImage == nullptr) return 0;
    file.Open(newPath, "wb");
    if (!file.IsOpen()) {
        Close();
        return 0;
    }
    callback = newCallback;
    path.Assign(newPath);
    image = newImage;
    writeOpen = true;
    depth = 24;
    return 1;
}

void SgiCodec::FillHeader() {
    std::memset(header, 0, sizeof header);
    PutU16be(header + 0, kMagic);                                   // magic
    header[2] = 0;                                                  // storage: verbatim
    header[3] = 1;                                                  // bytes per channel
    PutU16be(header + 4, 3);                                        // dimension
    PutU16be(header + 6, width);                                    // x size
    PutU16be(header + 8, height);                                   // y size
    PutU16be(header + 10, 3);                                       // z size: channels
    PutU32be(header + 12, 0);                                       // minimum pixel value
    PutU32be(header + 16, 255);                                     // maximum pixel value
    std::memcpy(header + 24, kImageName, std::strlen(kImageName));  // image name
    PutU32be(header + 104, 0);  // colour map type: normal pixel values
}

bool SgiCodec::WriteChannels(const RasterImage& source) {
    HeapBlock line;
    if (!line.Allocate(width)) return false;
    uint8_t* buffer = line.GetData();
    for (uint32_t c = 0; c < 3; ++c) {
        for (uint32_t i = 0; i < height; ++i) {
            // Scan lines run from the bottom of the picture up.
            const uint8_t* row = source.GetRow(static_cast<int32_t>(height - 1 - i)) + c;
            for (uint32_t x = 0; x < width; ++x) buffer[x] = row[3 * x];
            if (std::fwrite(buffer, 1, width, file.Get()) != width) return false;
            ReportProgress(callback, 1, static_cast<int32_t>(i), static_cast<int32_t>(height));
        }
    }
    return true;
}

int32_t SgiCodec::Write() {
    if (!writeOpen) {
        Close();
        return 0;
    }
    RasterImage temporary;
    const RasterImage* source = image;
    bool ok = depth == 24;
    if (ok && image->GetBitsPerPixel() != 24) {
        ok = image->ConvertTo(temporary, 24, 0) == 1;
        source = &temporary;
    }
    if (ok) {
        width = static_cast<uint32_t>(source->GetWidth());
        height = static_cast<uint32_t>(source->GetHeight());
        // Sizes the header cannot describe would make a file that reads as another picture.
        ok = width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide;
    }
    if (ok) FillHeader();
    ok = ok && fseeko(file.Get(), 0, SEEK_SET) == 0 &&
         std::fwrite(header, 1, kHeaderSize, file.Get()) == kHeaderSize && WriteChannels(*source);
    // A write that fails only when the stream is closed (a full disk) is a failed write too;
    // the partial file goes.
    ok = file.FinishWrite(ok, path.GetText());
    if (ok)
        ReportProgress(callback, 1, static_cast<int32_t>(height) - 1, static_cast<int32_t>(height));
    Close();
    return ok ? 1 : 0;
}
