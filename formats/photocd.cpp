#include "formats/photocd.h"

#include <cmath>
#include <cstring>
#include <iterator>

#include "image/support/heap_block.h"

namespace {

struct Resolution {
    uint32_t width;
    uint32_t height;
    uint64_t offset;  // of the first row-pair record
};

// Base/16, Base/4 and Base.
constexpr Resolution kResolutions[] = {
    {192, 128, 0x2000},
    {384, 256, 0xB800},
    {768, 512, 0x30000},
};

constexpr uint64_t kSignatureOffset = 2048;
constexpr char kSignature[] = "PCD_IPI";
constexpr size_t kSignatureLength = sizeof kSignature - 1;

// The products of the colour conversion, one table per term, so that each pixel adds the same
// double-precision terms in the same order as the formula written out in full:
//   R = Cr 1.3230336 + Cb 0.0000256 + Y 1.407488 + 0.5
//   G = Y 1.407488 - (Cr 0.67392 + Cb 0.3954176) + 0.5
//   B = Cr 0.0000256 + Cb 2.0360448 + Y 1.407488 + 0.5
// with Cb = C1 - 156 and Cr = C2 - 137, each result floored and clamped to 0..255.
struct YccTables {
    double luma[256];
    double redCr[256], redCb[256];
    double greenCr[256], greenCb[256];
    double blueCr[256], blueCb[256];

    YccTables() {
        for (int v = 0; v < 256; ++v) {
            const double cb = v - 156;
            const double cr = v - 137;
            luma[v] = v * 1.407488;
            redCr[v] = cr * 1.3230336;
            redCb[v] = cb * 0.0000256;
            greenCr[v] = cr * 0.67392;
            greenCb[v] = cb * 0.3954176;
            blueCr[v] = cr * 0.0000256;
            blueCb[v] = cb * 2.0360448;
        }
    }
};

inline uint8_t ToByte(double value) {
    const double f = std::floor(value);
    if (f < 0) return 0;
    if (f > 255) return 255;
    return static_cast<uint8_t>(f);
}

// Converts the two rows of one record; chroma byte k serves columns 2k and 2k + 1 of both.
void ConvertRecord(const YccTables& t, const uint8_t* record, uint32_t width, uint8_t* upper,
                   uint8_t* lower) {
    const uint8_t* lumaRows[2] = {record, record + width};
    uint8_t* outRows[2] = {upper, lower};
    const uint8_t* c1 = record + 2 * width;
    const uint8_t* c2 = c1 + width / 2;
    for (uint32_t k = 0; k < width / 2; ++k) {
        const double red = t.redCr[c2[k]] + t.redCb[c1[k]];
        const double green = t.greenCr[c2[k]] + t.greenCb[c1[k]];
        const double blue = t.blueCr[c2[k]] + t.blueCb[c1[k]];
        for (int row = 0; row < 2; ++row) {
            for (uint32_t x = 2 * k; x < 2 * k + 2; ++x) {
                const double y = t.luma[lumaRows[row][x]];
                uint8_t* out = outRows[row] + 3 * x;
                out[0] = ToByte(red + y + 0.5);
                out[1] = ToByte(y - green + 0.5);
                out[2] = ToByte(blue + y + 0.5);
            }
        }
    }
}

}  // namespace

int32_t PhotoCdReader::Close() {
    file.Reset();
    callback = nullptr;
    readOpen = writeOpen = false;
    path.Free();
    depth = 0;
    resolution = 0;
    width = height = 0;
    dataOffset = 0;
    image = nullptr;
    return 1;
}

bool PhotoCdReader::HasSignature(uint64_t fileSize) {
    char text[kSignatureLength];
    if (fileSize < kSignatureOffset + kSignatureLength) return false;
    bool found = fseeko(file.Get(), kSignatureOffset, SEEK_SET) == 0 &&
                 std::fread(text, 1, kSignatureLength, file.Get()) == kSignatureLength &&
                 std::memcmp(text, kSignature, kSignatureLength) == 0;
    return fseeko(file.Get(), 0, SEEK_SET) == 0 && found;
}

int32_t PhotoCdReader::OpenRead(const char* newPath, RasterImage* newImage, int32_t newResolution,
                                ProgressCallback newCallback) {
    Close();
    if (newPath == nullptr || newImage == nullptr) return 0;
    file.Open(newPath, "rb");
    const uint32_t index = static_cast<uint32_t>(newResolution) & 0xFF;
    if (!file.IsOpen() || index >= std::size(kResolutions)) {
        Close();
        return 0;
    }
    const Resolution& chosen = kResolutions[index];
    const uint64_t fileSize = FileUtil::GetStreamSize(file.Get());
    // An image pack is known by its signature, and it must hold the whole resolution asked for
    // (packs that carry only the base images are shorter than a full disc image).
    const uint64_t dataEnd = chosen.offset + uint64_t(chosen.width) * chosen.height * 3 / 2;
    if (fileSize < dataEnd || !HasSignature(fileSize)) {
        Close();
        return 0;
    }
    resolution = index;
    width = chosen.width;
    height = chosen.height;
    dataOffset = chosen.offset;
    readOpen = true;
    depth = 24;
    callback = newCallback;
    path.Assign(newPath);
    image = newImage;
    return 1;
}

bool PhotoCdReader::DecodeRecords() {
    static const YccTables tables;
    const uint32_t recordSize = 3 * width;
    HeapBlock record;
    if (!record.Allocate(recordSize) ||
        fseeko(file.Get(), static_cast<off_t>(dataOffset), SEEK_SET) != 0) {
        return false;
    }
    for (uint32_t r = 0; r < height; r += 2) {
        if (std::fread(record.GetData(), 1, recordSize, file.Get()) != recordSize) return false;
        ConvertRecord(tables, record.GetData(), width, image->GetRow(static_cast<int32_t>(r)),
                      image->GetRow(static_cast<int32_t>(r + 1)));
        ReportProgress(callback, 1, static_cast<int32_t>(r), static_cast<int32_t>(height));
    }
    return true;
}

int32_t PhotoCdReader::Read() {
    if (!readOpen) {
        Close();
        return 0;
    }
    const bool ok =
        image->Create(static_cast<int32_t>(width), static_cast<int32_t>(height), 24, 0) == 1 &&
        DecodeRecords();
    if (ok) image->Flush();
    ReportProgress(callback, 1, static_cast<int32_t>(height) - 1, static_cast<int32_t>(height));
    Close();
    return ok ? 1 : 0;
}
