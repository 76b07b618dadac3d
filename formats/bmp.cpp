#include "formats/bmp.h"

#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "image/support/byte_order.h"

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kCoreHeaderSize = 12;

// Rows are padded to a multiple of four bytes: 3 x width + 3 with the two low bits cleared.
uint64_t RowStride(int64_t width) { return (uint64_t(width) * 3 + 3) & ~uint64_t(3); }

// Masks over a block of eight pixels (24 bytes, three 8-byte words) picking, for each byte, the
// source byte it takes: the one two places ahead (a pixel's first byte), the same place (its
// middle byte) or two places behind (its last byte). Built from bytes, so any byte order works.
struct SwapMasks {
    uint64_t ahead[3], same[3], behind[3];
};

constexpr SwapMasks MakeSwapMasks() {
    SwapMasks m{};
    for (int w = 0; w < 3; ++w) {
        std::array<uint8_t, 8> ahead{}, same{}, behind{};
        for (int j = 0; j < 8; ++j) {
            int role = (8 * w + j) % 3;
            (role == 0 ? ahead : role == 1 ? same : behind)[j] = 0xFF;
        }
        m.ahead[w] = std::bit_cast<uint64_t>(ahead);
        m.same[w] = std::bit_cast<uint64_t>(same);
        m.behind[w] = std::bit_cast<uint64_t>(behind);
    }
    return m;
}

uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// BMP keeps a pixel as blue, green, red; the picture as red, green, blue. Eight pixels at a time
// as whole words, the first and the last few byte by byte so that no load leaves the row.
void SwapRedAndBlue(uint8_t* __restrict out, const uint8_t* __restrict in, uint32_t pixels) {
    constexpr SwapMasks kMasks = MakeSwapMasks();
    const size_t bytes = size_t(pixels) * 3;
    size_t k = 0;
    auto swapOne = [&](size_t at) {
        out[at] = in[at + 2];
        out[at + 1] = in[at + 1];
        out[at + 2] = in[at];
    };
    if (bytes >= 3 + 24 + 2) {
        swapOne(0);
        for (k = 3; k + 24 + 2 <= bytes; k += 24) {
            for (int w = 0; w < 3; ++w) {
                const uint8_t* at = in + k + 8 * w;
                uint64_t v = (Load64(at + 2) & kMasks.ahead[w]) | (Load64(at) & kMasks.same[w]) |
                             (Load64(at - 2) & kMasks.behind[w]);
                std::memcpy(out + k + 8 * w, &v, sizeof v);
            }
        }
    }
    for (; k < bytes; k += 3) swapOne(k);
}

bool IsListed(uint32_t value, std::initializer_list<uint32_t> allowed) {
    for (uint32_t a : allowed) {
        if (a == value) return true;
    }
    return false;
}

}  // namespace

int32_t BmpCodec::Close() {
    file.Reset();
    headerBlock.Free();
    path.Free();
    callback = nullptr;
    image = nullptr;
    readOpen = writeOpen = false;
    std::memset(fileHeader, 0, sizeof fileHeader);
    bitsPerPixel = 0;
    isCoreHeader = false;
    bottomUp = true;
    compression = 0;
    fileSize = 0;
    pixelOffset = 0;
    width = height = 0;
    return 1;
}

bool BmpCodec::ReadHeaders() {
    fileSize = FileUtil::GetStreamSize(file.Get());
    if (std::fread(fileHeader, 1, kFileHeaderSize, file.Get()) != kFileHeaderSize) return false;
    bool signature = (fileHeader[0] == 'B' && (fileHeader[1] == 'M' || fileHeader[1] == 'A'));
    if (!signature) return false;
    pixelOffset = GetU32le(fileHeader + 10);
    // The block between the headers is read whole; it can be no longer than the file.
    if (pixelOffset < kFileHeaderSize + kCoreHeaderSize || pixelOffset > fileSize) return false;
    uint32_t blockSize = pixelOffset - kFileHeaderSize;
    if (!headerBlock.Allocate(blockSize)) return false;
    return std::fread(headerBlock.GetData(), 1, blockSize, file.Get()) == blockSize;
}

bool BmpCodec::ParseInfoHeader() {
    const uint8_t* info = headerBlock.GetData();
    const uint32_t blockSize = headerBlock.GetSize();
    isCoreHeader = GetU32le(info) == kCoreHeaderSize;
    if (blockSize < (isCoreHeader ? kCoreHeaderSize : 20u)) return false;
    // Both header kinds are screened on the 32-bit values at offsets 4 and 8.
    if (GetI32le(info + 4) < 1 || GetU32le(info + 8) == 0) return false;
    if (isCoreHeader) {
        width = static_cast<int32_t>(GetU16le(info + 4));
        height = static_cast<int32_t>(GetU16le(info + 6));
        bottomUp = true;
        compression = 0;
        bitsPerPixel = GetU16le(info + 10);
        return IsListed(bitsPerPixel, {1, 4, 8, 24});
    }
    int32_t signedHeight = GetI32le(info + 8);
    if (signedHeight == INT32_MIN) return false;
    width = GetI32le(info + 4);
    height = std::abs(signedHeight);
    bottomUp = signedHeight >= 0;
    compression = GetU32le(info + 16);
    if (compression > 3) return false;
    if (compression == 1)
        bitsPerPixel = 8;
    else if (compression == 2)
        bitsPerPixel = 4;
    else
        bitsPerPixel = GetU16le(info + 14);
    return IsListed(bitsPerPixel, {1, 4, 8, 16, 24, 32});
}

int32_t BmpCodec::OpenRead(const char* newPath, RasterImage* newImage,
                           ProgressCallback newCallback) {
    Close();
    if (newPath == nullptr || newImage == nullptr) return 0;
    if (!file.Open(newPath, "rb") || !ReadHeaders() || !ParseInfoHeader()) {
        Close();
        return 0;
    }
    callback = newCallback;
    path.Assign(newPath);
    image = newImage;
    readOpen = true;
    if (bitsPerPixel == 24) return 1;
    Close();
    return 0;
}

bool BmpCodec::ReadRows(uint32_t stride) {
    HeapBlock row;
    if (!row.Allocate(stride) || fseeko(file.Get(), pixelOffset, SEEK_SET) != 0) return false;
    uint8_t* buffer = row.GetData();
    for (int32_t i = 0; i < height; ++i) {
        uint8_t* dest = image->GetRow(bottomUp ? height - 1 - i : i);
        if (std::fread(buffer, 1, stride, file.Get()) != stride) return false;
        SwapRedAndBlue(dest, buffer, static_cast<uint32_t>(width));
        ReportProgress(callback, 1, i, height);
    }
    return true;
}

int32_t BmpCodec::Read() {
    if (!readOpen) return 0;
    const uint64_t stride = RowStride(width);
    // A header that claims more pixels than the file holds is refused before any allocation.
    bool fits =
        stride <= UINT32_MAX && uint64_t(pixelOffset) + stride * uint64_t(height) <= fileSize;
    bool sized = image->GetWidth() == width && image->GetHeight() == height &&
                 image->GetBitsPerPixel() == 24;
    bool ok = fits && (sized || image->Create(width, height, 24, 0)) &&
              ReadRows(static_cast<uint32_t>(stride));
    if (ok) image->Flush();
    ReportProgress(callback, 1, height - 1, height);
    Close();
    return ok ? 1 : 0;
}

int32_t BmpCodec::OpenWrite(const char* newPath, RasterImage* newImage, uint32_t newBits,
                            ProgressCallback newCallback) {
    Close();
    callback = newCallback;
    if (newPath == nullptr) return 0;
    if (!file.Open(newPath, "wb")) {
        Close();
        return 0;
    }
    if (newImage == nullptr || newImage->GetWidth() < 1 || newImage->GetHeight() < 1 ||
        newImage->GetBitsPerPixel() != 24 || newBits != 24) {
        Close();
        return 0;
    }
    path.Assign(newPath);
    image = newImage;
    writeOpen = true;
    bitsPerPixel = 24;
    width = newImage->GetWidth();
    height = newImage->GetHeight();
    return 1;
}

bool BmpCodec::WriteRows(uint32_t stride) {
    HeapBlock row;
    if (!row.Allocate(stride)) return false;
    uint8_t* buffer = row.GetData();
    std::memset(buffer, 0, stride);
    for (int32_t i = 0; i < height; ++i) {
        SwapRedAndBlue(buffer, image->GetRow(height - 1 - i), static_cast<uint32_t>(width));
        if (std::fwrite(buffer, 1, stride, file.Get()) != stride) return false;
        ReportProgress(callback, 0, i, height);
    }
    return true;
}

int32_t BmpCodec::Write() {
    if (!writeOpen) return 0;
    const uint64_t stride = RowStride(width);
    const uint64_t fileBytes = kFileHeaderSize + kInfoHeaderSize + stride * uint64_t(height);
    if (fileBytes > UINT32_MAX) {
        Close();
        return 0;
    }
    uint8_t header[kFileHeaderSize + kInfoHeaderSize] = {};
    header[0] = 'B';
    header[1] = 'M';
    PutU32le(header + 2, static_cast<uint32_t>(fileBytes));    // file size
    PutU32le(header + 10, kFileHeaderSize + kInfoHeaderSize);  // offset of pixel data
    uint8_t* info = header + kFileHeaderSize;
    PutU32le(info + 0, kInfoHeaderSize);                // header size
    PutU32le(info + 4, static_cast<uint32_t>(width));   // width
    PutU32le(info + 8, static_cast<uint32_t>(height));  // height, positive: bottom-up
    PutU16le(info + 12, 1);                             // planes
    PutU16le(info + 14, 24);                            // bit count
    bool ok = fseeko(file.Get(), 0, SEEK_SET) == 0 &&
              std::fwrite(header, 1, sizeof header, file.Get()) == sizeof header &&
              WriteRows(static_cast<uint32_t>(stride));
    // A write that fails only when the stream is closed (a full disk) is a failed write too.
    ok = file.FinishWrite(ok);
    if (ok) ReportProgress(callback, 0, height - 1, height);
    Close();
    return ok ? 1 : 0;
}
