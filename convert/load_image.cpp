// The source probe: the readers are offered the file in a fixed order, and the first whose open
// step accepts it decides the outcome, so a file one reader takes but cannot decode is not
// offered to the readers after it.
#include "convert/torvenquill.h"
#include "formats/bmp.h"
#include "formats/jpeg.h"
#include "formats/pcx.h"
#include "formats/photocd.h"
#include "formats/png.h"
#include "formats/tiff.h"
#include "image/raster_image.h"
#include "image/support/file_util.h"

namespace {

enum class ReaderOutcome { NotMine, Decoded, Failed };

using ReaderStep = ReaderOutcome (*)(const char* path, RasterImage* image);

template <class Codec>
ReaderOutcome TryReader(const char* path, RasterImage* image) {
    Codec codec;
    if (codec.OpenRead(path, image, nullptr) != 1) {
        codec.Close();
        return ReaderOutcome::NotMine;
    }
    if (codec.Read() == 1) return ReaderOutcome::Decoded;
    codec.Close();
    return ReaderOutcome::Failed;
}

// The Photo CD reader is asked for its largest base resolution, 768 x 512.
ReaderOutcome TryPhotoCd(const char* path, RasterImage* image) {
    PhotoCdReader reader;
    if (reader.OpenRead(path, image, 2, nullptr) != 1) {
        reader.Close();
        return ReaderOutcome::NotMine;
    }
    if (reader.Read() == 1) return ReaderOutcome::Decoded;
    reader.Close();
    return ReaderOutcome::Failed;
}

constexpr ReaderStep kReaders[] = {
    TryReader<JpegCodec>,
    TryReader<BmpCodec>,
    TryReader<TiffCodec>,
    TryReader<PngCodec>,
    TryReader<PcxCodec>,
    TryPhotoCd,
};

}  // namespace

extern "C" int32_t LoadImageFile(const char* path, RasterImage* image) {
    if (image == nullptr) return TVQ_RESULT_SOURCE_UNREADABLE;
    if (path == nullptr || !FileUtil::FileExists(path)) return TVQ_RESULT_SOURCE_NOT_FOUND;
    for (ReaderStep reader : kReaders) {
        ReaderOutcome outcome = reader(path, image);
        if (outcome == ReaderOutcome::Decoded) return TVQ_RESULT_OK;
        if (outcome == ReaderOutcome::Failed) break;
    }
    image->Free();
    return TVQ_RESULT_SOURCE_UNREADABLE;
}
