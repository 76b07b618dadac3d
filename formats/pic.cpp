#include "formats/pic.h"

#include <cstring>

#include "formats/picture_rows.h"
#include "image/support/byte_order.h"

namespace {

constexpr uint8_t kMagic[4] = {0x53, 0x80, 0xF6, 0x34};
constexpr const char* kCommentStart = "Create by";
constexpr const char* kCommentName = "Oskelbrimth";
// The header's sizes are 16-bit fields.
constexpr uint32_t kMaxSide = 65535;

}  // namespace

int32_t PicCodec::Close() {
    file.Reset();
    callback = nullptr;
    writeOpen = false;
    std::memset(header, 0, sizeof header);
    std::memset(channelInfo, 0, sizeof channelInfo);
    path.Free();
    depth = 0;
    width = height = 0;
    image = nullptr;
    return 1;
}

int32_t PicCodec::OpenWrite(const char* newPath, RasterImage* newImage, uint32_t newDepth,
                            ProgressCallback newCallback) {
    Close();
    if (newDepth != 24 || newPath == nullptr || newImage == nullptr) return 0;
    file.Open(newPath, "wb");
    if (!file.IsOpen()) {
        Close();
        return 0;
    }
    depth = 24;
    callback = newCallback;
    writeOpen = true;
    path.Assign(newPath);
    width = static_cast<uint32_t>(newImage->GetWidth());
    height = static_cast<uint32_t>(newImage->GetHeight());
    image = newImage;
    return 1;
}

void PicCodec::FillHeader() {
    std::memset(header, 0, sizeof header);
    std::memcpy(header, kMagic, sizeof kMagic);  // magic; version 0 follows
    // Comment: the two texts back to back, zero bytes to the end of the field.
    const size_t startLength = std::strlen(kCommentStart);
    std::memcpy(header + 8, kCommentStart, startLength);
    std::memcpy(header + 8 + startLength, kCommentName, std::strlen(kCommentName));
    std::memcpy(header + 88, "PICT", 4);  // identifier
    PutU16be(header + 92, width);
    PutU16be(header + 94, height);
    PutF32be(header + 96, static_cast<float>(double(width) / double(height)));  // ratio
    PutU16be(header + 100, 3);  // fields: a full frame; the pad stays 0
    channelInfo[0] = 0;         // chained: no further channel description
    channelInfo[1] = 8;         // bits per channel
    channelInfo[2] = 0;         // compression: none
    channelInfo[3] = 0xE0;      // channel mask: red, green, blue
}

int32_t PicCodec::Write() {
    if (!writeOpen) {
        Close();
        return 0;
    }
    // Sizes the header cannot describe would make a file that reads as another picture.
    bool ok = width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide;
    if (ok) FillHeader();
    ok = ok && fseeko(file.Get(), 0, SEEK_SET) == 0 &&
         std::fwrite(header, 1, kHeaderSize, file.Get()) == kHeaderSize &&
         std::fwrite(channelInfo, 1, kChannelInfoSize, file.Get()) == kChannelInfoSize;
    RasterImage temporary;
    const RasterImage* source = image;
    if (ok && image->GetBitsPerPixel() != 24) {
        ok = image->ConvertTo(temporary, 24, 0) == 1;
        source = &temporary;
    }
    ok = ok && WritePictureRows(file.Get(), *source, callback);
    // A write that fails only when the stream is closed (a full disk) is a failed write too.
    ok = file.FinishWrite(ok);
    ReportProgress(callback, 0, static_cast<int32_t>(height) - 1, static_cast<int32_t>(height));
    Close();
    return ok ? 1 : 0;
}
