/* torvenquill: the image conversion library's C interface. Each command loads the source with
 * whichever reader recognises it and writes the target in its format; the target appears
 * complete or not at all (it is written beside its final name and renamed on success). */
#ifndef TORVENQUILL_H
#define TORVENQUILL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TVQ_API __attribute__((visibility("default")))

/* ResultCode values. */
enum {
    TVQ_RESULT_OK = 1,
    TVQ_RESULT_SOURCE_NOT_FOUND = -1,   /* the source path names nothing */
    TVQ_RESULT_SOURCE_UNREADABLE = -3,  /* no reader accepted and decoded the source */
    TVQ_RESULT_TARGET_NOT_WRITTEN = -4, /* depth conversion or the writer failed */
    TVQ_RESULT_BAD_ARGUMENTS = -7       /* an argument is missing or out of range */
};

/* The library's in-memory picture; C callers only pass it through. */
struct RasterImage;

/* Decodes path into image: 1, -1 or -3. */
TVQ_API int32_t LoadImageFile(const char* path, struct RasterImage* image);

/* The version of the library, "major.minor.patch". */
TVQ_API const char* TorvenquillVersion(void);

TVQ_API int32_t ConvertToBmp(const char* source, const char* target);

/* Baseline JFIF: grayscale 1 writes one grey component, any other value three colour components;
 * quality 1..100; optimizeCoding nonzero computes optimal Huffman tables; smoothingFactor 0..100
 * smooths the input (0: none). */
TVQ_API int32_t ConvertToJpg(const char* source, const char* target, int32_t grayscale,
                             int32_t quality, int32_t optimizeCoding, int32_t smoothingFactor);
/* Uncompressed TIFF: grayscale 1 writes 8-bit grey levels (a palette picture with a grey ramp),
 * any other value 24-bit RGB. */
TVQ_API int32_t ConvertToTif(const char* source, const char* target, int32_t grayscale);
/* Adam7-interlaced 8-bit RGB PNG; bitsPerPixel must be 24. */
TVQ_API int32_t ConvertToPng(const char* source, const char* target, int32_t bitsPerPixel);

/* Run-length encoded 24-bit PCX. */
TVQ_API int32_t ConvertToPcx(const char* source, const char* target);
/* PPM, PGM and PBM: raw 1 writes the raw (binary) form, any other value the plain (text) form.
 * PBM marks black (1) every pixel whose grey level is below 128. */
TVQ_API int32_t ConvertToPpm(const char* source, const char* target, int32_t raw);
TVQ_API int32_t ConvertToPgm(const char* source, const char* target, int32_t raw);
TVQ_API int32_t ConvertToPbm(const char* source, const char* target, int32_t raw);
/* Uncompressed Softimage PIC, 8-bit red, green and blue. */
TVQ_API int32_t ConvertToPic(const char* source, const char* target);
/* Uncompressed SGI image, three 8-bit channels. */
TVQ_API int32_t ConvertToSgi(const char* source, const char* target);

#ifdef __cplusplus
}
#endif

#endif
