// What a picture takes decoded, told by its header before a pixel of it is decoded, and whether
// it may be decoded now. Every reader that decodes a picture (files, packages, pages, RTF and
// RTFD, the clipboard, HEIC) asks here first, so that one price and one limit hold for them all.
#pragma once

#include <QSize>

#include <cstdint>

class QImageReader;

// Why a picture is not decoded.
enum class FLPictureRefusal {
  None,
  // Its pixels take more than the decoders make for one picture (Qt's image reader's allocation
  // limit): it cannot be decoded in any amount of memory.
  PastDecodeLimit,
  // Decoding it would take more memory than the reading it belongs to (or, outside any reading,
  // the process's limits) has left.
  PastBudget,
};

struct FLPicturePrice {
  QSize pixels;       // the header's size; invalid where the header tells none
  int64_t bytes = 0;  // what decoding it takes at its peak
};

// The most one picture may take decoded, in bytes: what Qt's image reader allocates at most for
// one (its allocation limit); INT64_MAX where it sets none.
int64_t PictureDecodeLimit();
// A picture of those pixels at so many bits a pixel, rows padded to 32 bits as a bitmap's are;
// `copies` counts the bitmaps the decoding holds at once (a turned picture is decoded, then turned).
FLPicturePrice PriceOfPixels(QSize pixels, int bitsPerPixel = 32, int copies = 1);
// The picture the reader stands at (its scaled size when one is set), from its header; where the
// header tells nothing, as many bytes as the picture's file again (`encodedBytes`).
FLPicturePrice PriceOfPicture(QImageReader& reader, int64_t encodedBytes);
// Whether a picture of that price may be decoded now: within the decoders' limit, and within what
// the current reading meter leaves (its budget less the most the heap has grown under it) or,
// with no meter, what the process's limits leave. `cost` (when given) receives what the reading
// would take with the picture decoded, for a refusal to name.
FLPictureRefusal AdmitPicture(const FLPicturePrice& price, int64_t* cost = nullptr);
