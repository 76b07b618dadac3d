#include "formats/pnm.h"

#include <cstring>

#include "formats/picture_rows.h"
#include "image/support/heap_block.h"

namespace {

struct KindRow {
    int32_t kind;
    uint32_t depth;
    const char* rawMagic;
    const char* plainMagic;
};

constexpr KindRow kKinds[] = {
    {PnmCodec::kKindPgm, 8, "P5", "P2"},
    {PnmCodec::kKindPpm, 24, "P6", "P3"},
    {PnmCodec::kKindPbm, 1, "P4", "P1"},
};

const KindRow* FindKind(int32_t kind) {
    for (const KindRow& row : kKinds) {
        if (row.kind == kind) return &row;
    }
    return nullptr;
}

constexpr const char* kComment = "\n#Created by Quennelbrightwax 1.0\n";
// Plain PPM puts five pixels on a line and plain PGM 32 values; the count runs across rows.
constexpr uint32_t kPlainPpmPixelsPerLine = 5;
constexpr uint32_t kPlainPgmValuesPerLine = 32;
// Plain PBM lines hold at most 70 digits, and every row starts a new line.
constexpr uint32_t kPlainPbmDigitsPerLine = 70;

// PBM marks black with 1: a pixel whose grey level is below the middle.
inline bool IsBlack(const uint8_t* row, uint32_t x, uint32_t bitsPerPixel) {
    if (bitsPerPixel == 8) return row[x] < 128;
    const uint8_t* p = row + 3 * x;
    return GreyLevel(p[0], p[1], p[2]) < 128;
}

}  // namespace

int32_t PnmCodec::Close() {
    file.Reset();
    callback = nullptr;
    writeOpen = false;
    path.Free();
    kind = 0;
    depth = 0;
    plainText = false;
    width = height = 0;
    image = nullptr;
    return 1;
}

int32_t PnmCodec::WriteNumber(FILE* stream, uint32_t value, int32_t lineEnd) {
    char text[12];
    char* end = text + sizeof text;
    char* p = end;
    *--p = lineEnd == 1 ? '\n' : ' ';
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    const size_t n = static_cast<size_t>(end - p);
    // The stream is ours alone, so its lock is not needed for every number.
    return fwrite_unlocked(p, 1, n, stream) == n ? 0 : -1;
}

int32_t PnmCodec::OpenWrite(const char* newPath, RasterImage* newImage, int32_t newKind,
                            int32_t raw, ProgressCallback newCallback) {
    Close();
    const KindRow* row = FindKind(newKind);
    if (row == nullptr || newPath == nullptr || newImage == nullptr) return 0;
    file.Open(newPath, "wb");
    if (!file.IsOpen()) {
        Close();
        return 0;
    }
    kind = newKind;
    depth = row->depth;
    callback = newCallback;
    plainText = raw != 1;
    writeOpen = true;
    path.Assign(newPath);
    image = newImage;
    width = static_cast<uint32_t>(newImage->GetWidth());
    height = static_cast<uint32_t>(newImage->GetHeight());
    return 1;
}

bool PnmCodec::WriteHeader() {
    const KindRow* row = FindKind(kind);
    TextBuffer text;
    text.Assign(plainText ? row->plainMagic : row->rawMagic);
    text.Append(kComment);
    text.AppendNumber(static_cast<int32_t>(width));
    text.Append(" ");
    text.AppendNumber(static_cast<int32_t>(height));
    // A bitmap has no maximum sample value.
    text.Append(kind == kKindPbm ? "\n" : " 255\n");
    const size_t n = std::strlen(text.GetText());
    return fseeko(file.Get(), 0, SEEK_SET) == 0 &&
           std::fwrite(text.GetText(), 1, n, file.Get()) == n;
}

// The picture in the form the kind writes: 24-bit for PPM, grey levels for PGM and PBM, which
// compute them row by row themselves from a 24-bit picture. Null when the conversion fails.
const RasterImage* PnmCodec::ChooseSource(RasterImage& temporary) const {
    const uint32_t bits = image->GetBitsPerPixel();
    const bool grey = bits == 8 && image->GetColorCount() == 0;
    if (kind == kKindPpm) {
        if (bits == 24) return image;
        return image->ConvertTo(temporary, 24, 0) ? &temporary : nullptr;
    }
    // A palette picture's indexes are not grey levels, however few colours it has.
    if (grey || bits == 24) return image;
    return image->ConvertTo(temporary, 8, 0) ? &temporary : nullptr;
}

// One row of samples as decimal text; counter carries the place on the line from row to row.
bool PnmCodec::WritePlainRow(const uint8_t* p, uint32_t& counter) {
    const bool colour = kind == kKindPpm;
    const uint32_t perLine = colour ? kPlainPpmPixelsPerLine : kPlainPgmValuesPerLine;
    FILE* out = file.Get();
    for (uint32_t x = 0; x < width; ++x) {
        const int32_t lineEnd = ++counter == perLine ? 1 : 0;
        if (lineEnd) counter = 0;
        if (colour) {
            if (WriteNumber(out, p[0], 0) != 0 || WriteNumber(out, p[1], 0) != 0) return false;
            p += 2;
        }
        if (WriteNumber(out, *p++, lineEnd) != 0) return false;
    }
    return true;
}

// PPM and PGM rows. PGM from a 24-bit picture makes each row's grey levels as it writes it: the
// levels a converted copy of the picture would hold, without the copy.
bool PnmCodec::WriteSampleRows(const RasterImage& source) {
    const bool greyFromColour = kind == kKindPgm && source.GetBitsPerPixel() == 24;
    if (!plainText && !greyFromColour) return WritePictureRows(file.Get(), source, callback);
    HeapBlock line;
    if (greyFromColour && !line.Allocate(width)) return false;
    uint32_t counter = 0;
    for (uint32_t r = 0; r < height; ++r) {
        const uint8_t* row = source.GetRow(static_cast<int32_t>(r));
        if (greyFromColour) {
            uint8_t* grey = line.GetData();
            for (uint32_t x = 0; x < width; ++x) {
                grey[x] = GreyLevel(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
            }
            row = grey;
        }
        const bool written = plainText ? WritePlainRow(row, counter)
                                       : std::fwrite(row, 1, width, file.Get()) == width;
        if (!written) return false;
        ReportProgress(callback, 0, static_cast<int32_t>(r), static_cast<int32_t>(height));
    }
    return true;
}

bool PnmCodec::WriteBitmapRows(const RasterImage& source) {
    const uint32_t bits = source.GetBitsPerPixel();
    // Raw: eight pixels a byte, the first in the high bit, each row padded to a whole byte.
    // Plain: one digit a pixel, with a line feed after every 70 digits and at each row's end.
    const uint64_t rowBytes = plainText ? uint64_t(width) + width / kPlainPbmDigitsPerLine + 1
                                        : (uint64_t(width) + 7) / 8;
    HeapBlock line;
    if (rowBytes > UINT32_MAX || !line.Allocate(static_cast<uint32_t>(rowBytes))) return false;
    uint8_t* buffer = line.GetData();
    for (uint32_t r = 0; r < height; ++r) {
        const uint8_t* row = source.GetRow(static_cast<int32_t>(r));
        size_t n = 0;
        if (plainText) {
            for (uint32_t x = 0; x < width; ++x) {
                buffer[n++] = IsBlack(row, x, bits) ? '1' : '0';
                if ((x + 1) % kPlainPbmDigitsPerLine == 0 && x + 1 < width) buffer[n++] = '\n';
            }
            buffer[n++] = '\n';
        } else {
            std::memset(buffer, 0, rowBytes);
            for (uint32_t x = 0; x < width; ++x) {
                if (IsBlack(row, x, bits)) buffer[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
            }
            n = rowBytes;
        }
        if (std::fwrite(buffer, 1, n, file.Get()) != n) return false;
        ReportProgress(callback, 0, static_cast<int32_t>(r), static_cast<int32_t>(height));
    }
    return true;
}

int32_t PnmCodec::Write() {
    if (!writeOpen) {
        Close();
        return 0;
    }
    RasterImage temporary;
    bool ok = WriteHeader();
    const RasterImage* source = ok ? ChooseSource(temporary) : nullptr;
    ok = source != nullptr;
    if (ok && kind == kKindPbm) {
        ok = WriteBitmapRows(*source);
    } else if (ok) {
        ok = WriteSampleRows(*source);
    }
    // A write that fails only when the stream is closed (a full disk) is a failed write too.
    ok = file.FinishWrite(ok);
    ReportProgress(callback, 0, static_cast<int32_t>(height) - 1, static_cast<int32_t>(height));
    Close();
    return ok ? 1 : 0;
}
