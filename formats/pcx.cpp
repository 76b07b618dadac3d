#include "formats/pcx.h"

#include <algorithm>
#include <cstring>

#include "image/support/byte_order.h"
#include "image/support/heap_block.h"
#include "image/support/mapped_buffer.h"

namespace {

constexpr uint8_t kManufacturer = 10;
constexpr uint8_t kPaletteMarker = 12;
// A run byte has both top bits set; its low six bits are the repeat count.
constexpr uint8_t kRunFlag = 0xC0;
constexpr uint32_t kMaxRun = 63;
// Sizes travel in 16-bit fields, and bytes per plane line (width rounded up to even) too.
constexpr uint32_t kMaxWriteWidth = 65534;
constexpr uint32_t kMaxWriteHeight = 65536;

}  // namespace

int32_t PcxCodec::Close() {
    file.Reset();
    callback = nullptr;
    readOpen = writeOpen = false;
    std::memset(header, 0, sizeof header);
    path.Free();
    depth = 0;
    width = height = 0;
    image = nullptr;
    return 1;
}

uint32_t PcxCodec::GetPlanes() const { return header[65]; }

uint32_t PcxCodec::GetBytesPerLine() const { return GetU16le(header + 66); }

uint32_t PcxCodec::EncodeScanLine(uint8_t* out, const uint8_t* in, uint32_t length) {
    uint32_t pos = 0;
    uint32_t o = 0;
    while (pos < length) {
        const uint8_t v = in[pos];
        uint32_t n = 1;
        while (n < kMaxRun && pos + n < length && in[pos + n] == v) ++n;
        if (n >= 2 || v >= kRunFlag) {
            // A lone byte with both top bits set would read as a run byte: it goes as a run of 1.
            out[o++] = static_cast<uint8_t>(kRunFlag + n);
            out[o++] = v;
        } else {
            out[o++] = v;
        }
        pos += n;
    }
    return o;
}

const uint8_t* PcxCodec::DecodeScanLine(uint8_t* out, const uint8_t* in, uint32_t length,
                                        const uint8_t* dataStart, uint64_t dataSize) {
    const uint8_t* const end = dataStart + dataSize;
    uint32_t count = 0;
    while (count < length) {
        if (in == end) return nullptr;
        const uint8_t b = *in++;
        if (b < kRunFlag) {
            out[count++] = b;
            continue;
        }
        if (in == end) return nullptr;
        const uint8_t v = *in++;
        // The part of a run that does not fit the scan line is dropped, as other readers do;
        // the next scan line starts at the next unread byte.
        const uint32_t n = std::min<uint32_t>(b & kMaxRun, length - count);
        std::memset(out + count, v, n);
        count += n;
    }
    return in;
}

int32_t PcxCodec::OpenRead(const char* newPath, RasterImage* newImage,
                           ProgressCallback newCallback) {
    Close();
    if (newPath == nullptr || newImage == nullptr) return 0;
    file.Open(newPath, "rb");
    if (!file.IsOpen() || fseeko(file.Get(), 0, SEEK_SET) != 0 ||
        std::fread(header, 1, kHeaderSize, file.Get()) != kHeaderSize) {
        Close();
        return 0;
    }
    const int32_t xmin = static_cast<int32_t>(GetU16le(header + 4));
    const int32_t ymin = static_cast<int32_t>(GetU16le(header + 6));
    const int32_t xmax = static_cast<int32_t>(GetU16le(header + 8));
    const int32_t ymax = static_cast<int32_t>(GetU16le(header + 10));
    // One pixel wide or tall is a picture too: the writer makes such files.
    if (header[0] != kManufacturer || xmax < xmin || ymax < ymin) {
        Close();
        return 0;
    }
    callback = newCallback;
    path.Assign(newPath);
    width = static_cast<uint32_t>(xmax - xmin + 1);
    height = static_cast<uint32_t>(ymax - ymin + 1);
    depth = uint32_t(header[3]) * GetPlanes();
    image = newImage;
    readOpen = true;
    if (depth == 8 || depth == 24) return 1;
    Close();
    return 0;
}

bool PcxCodec::ReadPalette(uint64_t fileSize) {
    uint8_t rgb[kPaletteSize];
    // The palette is always the last 768 bytes, whether or not the marker byte precedes it.
    if (fseeko(file.Get(), static_cast<off_t>(fileSize - kPaletteSize), SEEK_SET) != 0 ||
        std::fread(rgb, 1, kPaletteSize, file.Get()) != kPaletteSize) {
        return false;
    }
    PaletteEntry* entries = image->GetPalette();
    for (uint32_t i = 0; i < 256; ++i) {
        entries[i].red = rgb[3 * i];
        entries[i].green = rgb[3 * i + 1];
        entries[i].blue = rgb[3 * i + 2];
    }
    return true;
}

bool PcxCodec::ReadCompressed(MappedBuffer& data, uint64_t size) {
    if (!data.Allocate(static_cast<uint32_t>(size), "VODUVIZO", nullptr)) return false;
    if (fseeko(file.Get(), kHeaderSize, SEEK_SET) != 0 ||
        std::fread(data.GetData(), 1, size, file.Get()) != size) {
        return false;
    }
    data.Flush(nullptr, 0);
    return true;
}

bool PcxCodec::DecodeRows(const MappedBuffer& data, uint64_t dataSize) {
    const uint32_t bytesPerLine = GetBytesPerLine();
    const uint32_t scanLength = GetPlanes() * bytesPerLine;
    HeapBlock line;
    if (!line.Allocate(scanLength)) return false;
    uint8_t* buffer = line.GetData();
    const uint8_t* cursor = data.GetData();
    for (uint32_t r = 0; r < height; ++r) {
        cursor = DecodeScanLine(buffer, cursor, scanLength, data.GetData(), dataSize);
        if (cursor == nullptr) return false;
        uint8_t* row = image->GetRow(static_cast<int32_t>(r));
        if (depth == 8) {
            // Only the first plane line's first width bytes belong to the picture.
            std::memcpy(row, buffer, width);
        } else {
            const uint8_t* green = buffer + bytesPerLine;
            const uint8_t* blue = green + bytesPerLine;
            for (uint32_t x = 0; x < width; ++x) {
                row[3 * x] = buffer[x];
                row[3 * x + 1] = green[x];
                row[3 * x + 2] = blue[x];
            }
        }
        ReportProgress(callback, 1, static_cast<int32_t>(r), static_cast<int32_t>(height));
    }
    return true;
}

// A plane line must hold the row, and a true-colour scan line three planes. A run pair yields
// at most 63 bytes and a literal byte one, so a header that promises more rows than the data
// can hold is refused before the picture is allocated.
bool PcxCodec::LayoutFits(uint64_t dataSize) const {
    const uint64_t bytesPerLine = GetBytesPerLine();
    const uint64_t scanLength = GetPlanes() * bytesPerLine;
    const uint64_t lineData =
        2 * (scanLength / kMaxRun) + std::min<uint64_t>(2, scanLength % kMaxRun);
    return dataSize > 0 && dataSize <= UINT32_MAX && bytesPerLine >= width &&
           (depth == 8 || GetPlanes() >= 3) && dataSize >= uint64_t(height) * lineData;
}

int32_t PcxCodec::Read() {
    if (!readOpen) {
        Close();
        return 0;
    }
    const uint64_t fileSize = FileUtil::GetStreamSize(file.Get());
    const uint64_t trailer = kHeaderSize + (depth == 8 ? kPaletteSize : 0);
    const uint64_t dataSize = fileSize > trailer ? fileSize - trailer : 0;
    MappedBuffer data;
    bool ok = LayoutFits(dataSize) &&
              image->Create(static_cast<int32_t>(width), static_cast<int32_t>(height), depth,
                            depth == 8 ? 256 : 0) &&
              (depth != 8 || ReadPalette(fileSize)) && ReadCompressed(data, dataSize) &&
              DecodeRows(data, dataSize);
    if (ok) {
        image->Flush();
        ReportProgress(callback, 1, static_cast<int32_t>(height) - 1, static_cast<int32_t>(height));
    }
    data.Release(1);
    Close();
    return ok ? 1 : 0;
}

int32_t PcxCodec::OpenWrite(const char* newPath, RasterImage* newImage, uint32_t newDepth,
                            ProgressCallback newCallback) {
    Close();
    callback = newCallback;
    // Checked before the file is created, so a picture this codec cannot write leaves nothing.
    const bool writable = newPath != nullptr && newImage != nullptr && newImage->GetWidth() >= 1 &&
                          newImage->GetHeight() >= 1 &&
                          uint32_t(newImage->GetWidth()) <= kMaxWriteWidth &&
                          uint32_t(newImage->GetHeight()) <= kMaxWriteHeight &&
                          (newDepth == 8 || (newDepth == 24 && newImage->GetBitsPerPixel() == 24));
    if (writable) file.Open(newPath, "wb");
    if (!file.IsOpen()) {
        Close();
        return 0;
    }
    path.Assign(newPath);
    writeOpen = true;
    image = newImage;
    depth = newDepth;
    width = static_cast<uint32_t>(newImage->GetWidth());
    height = static_cast<uint32_t>(newImage->GetHeight());
    return 1;
}

void PcxCodec::FillHeader(uint32_t planes, uint32_t bytesPerLine) {
    std::memset(header, 0, sizeof header);
    header[0] = kManufacturer;          // manufacturer
    header[1] = 5;                      // version
    header[2] = 1;                      // encoding: run-length
    header[3] = 8;                      // bits per pixel in one plane
    PutU16le(header + 8, width - 1);    // xmax (xmin and ymin stay 0)
    PutU16le(header + 10, height - 1);  // ymax
    PutU16le(header + 12, 300);         // horizontal resolution
    PutU16le(header + 14, 300);         // vertical resolution
    header[65] = static_cast<uint8_t>(planes);
    PutU16le(header + 66, bytesPerLine);
    PutU16le(header + 70, 800);  // horizontal screen size
    PutU16le(header + 72, 600);  // vertical screen size
}

bool PcxCodec::WriteRows(const RasterImage& source, uint32_t bytesPerLine) {
    const uint32_t scanLength = GetPlanes() * bytesPerLine;
    HeapBlock line;
    HeapBlock encoded;
    if (!line.Allocate(scanLength) || !encoded.Allocate(2 * scanLength)) return false;
    uint8_t* red = line.GetData();
    uint8_t* green = red + bytesPerLine;
    uint8_t* blue = green + bytesPerLine;
    // The filler byte of an odd width stays 0 in every scan line.
    std::memset(red, 0, scanLength);
    for (uint32_t r = 0; r < height; ++r) {
        const uint8_t* row = source.GetRow(static_cast<int32_t>(r));
        if (depth == 8) {
            std::memcpy(red, row, width);
        } else {
            for (uint32_t x = 0; x < width; ++x) {
                red[x] = row[3 * x];
                green[x] = row[3 * x + 1];
                blue[x] = row[3 * x + 2];
            }
        }
        const uint32_t n = EncodeScanLine(encoded.GetData(), red, scanLength);
        if (std::fwrite(encoded.GetData(), 1, n, file.Get()) != n) return false;
        ReportProgress(callback, 0, static_cast<int32_t>(r), static_cast<int32_t>(height));
    }
    return true;
}

bool PcxCodec::WritePalette(const RasterImage& source) {
    uint8_t block[1 + kPaletteSize] = {kPaletteMarker};
    const PaletteEntry* entries = source.GetPalette();
    const uint32_t count =
        std::min<uint32_t>(256, uint32_t(source.GetPaletteObject().GetCapacity()));
    for (uint32_t i = 0; i < count; ++i) {
        block[1 + 3 * i] = entries[i].red;
        block[2 + 3 * i] = entries[i].green;
        block[3 + 3 * i] = entries[i].blue;
    }
    return std::fwrite(block, 1, sizeof block, file.Get()) == sizeof block;
}

int32_t PcxCodec::Write() {
    if (!writeOpen) {
        // Bound for reading, or idle: there is no file of ours to remove.
        Close();
        return 0;
    }
    RasterImage temporary;
    const RasterImage* source = image;
    bool ok = true;
    if (depth == 8 && !(image->GetBitsPerPixel() == 8 && image->GetColorCount() == 256)) {
        ok = image->ConvertTo(temporary, 8, 256) == 1;
        source = &temporary;
    }
    const uint32_t bytesPerLine = width + (width & 1);
    FillHeader(depth == 8 ? 1 : 3, bytesPerLine);
    ok = ok && fseeko(file.Get(), 0, SEEK_SET) == 0 &&
         std::fwrite(header, 1, kHeaderSize, file.Get()) == kHeaderSize &&
         WriteRows(*source, bytesPerLine) && (depth != 8 || WritePalette(*source));
    // A write that fails only when the stream is closed (a full disk) is a failed write too;
    // the partial file goes.
    ok = file.FinishWrite(ok, path.GetText());
    if (ok)
        ReportProgress(callback, 0, static_cast<int32_t>(height) - 1, static_cast<int32_t>(height));
    Close();
    return ok ? 1 : 0;
}
