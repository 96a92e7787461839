// The one way pictures go through Qt's image codecs (its readers and writers and the libraries
// under them: libpng, libjpeg, libtiff and the rest), which tells a picture that could not be
// decoded or encoded for want of memory from one whose bytes are no picture: the first throws
// std::bad_alloc, as any allocation that fails does, so that the command reading or writing it
// fails with the memory alert rather than going on without the picture.
#pragma once

#include <QByteArray>
#include <QImage>

class QImageReader;
class QImageWriter;

// Qt finds a picture's handler in its plug-in table under two mutexes of its own, in code built
// without exceptions: an allocation failing there leaves them locked and the next picture read or
// written anywhere waits for good. The table is filled once at launch (PreloadImagePlugins, in the
// application's constructor); each look-up after that takes a few small blocks, and begins only
// when a block of kImageLookupHeadroom bytes could just be had and given back, which leaves the
// heap that room for them. No look-up begins otherwise: std::bad_alloc first.
inline constexpr size_t kImageLookupHeadroom = 64 * 1024;
class FLImageHandlerLookup {
 public:
  FLImageHandlerLookup();
  ~FLImageHandlerLookup();
  FLImageHandlerLookup(const FLImageHandlerLookup&) = delete;
  FLImageHandlerLookup& operator=(const FLImageHandlerLookup&) = delete;
};
// Whether this thread is inside such a look-up (the tests' failing allocations pass over it, as
// the headroom does).
extern "C" bool InImageHandlerLookup() noexcept;

// Whether the reader has a handler for its bytes, looked up as above. Ask nothing else of a reader
// that has none: each question would look again.
bool OpenImageReader(QImageReader& reader);
// The reader's next picture; a null image for bytes that are no picture. Throws std::bad_alloc
// when the decoder ran out of memory. Inside a CodecErrnoScope begun before the reader was first
// asked anything: a codec that ran out of memory reading the header fails quietly again when asked
// for the pixels.
QImage ReadImageFrame(QImageReader& reader);
// The bitmap in Qt's format ("png", "tiff", "jpeg", "bmp"; a quality of -1 is the codec's own,
// a TIFF compression of 0 none), or empty bytes where the format has no encoder. Throws
// std::bad_alloc when the encoder, or the bitmap's conversion, ran out of memory.
QByteArray EncodeImage(const QImage& bitmap, const char* format, int quality = -1, int tiffCompression = -1);
// Inside a CodecErrnoScope: throws std::bad_alloc when a bitmap just made is null for want of
// memory (a QImage whose pixels could not be had is simply null).
void ThrowIfBitmapFailedForMemory(const QImage& bitmap);

// The C library's error number around a call into a codec: cleared on entry, restored on exit,
// and ENOMEM meanwhile is memory that ran out inside the codec (libpng, libjpeg and Qt's bitmaps
// fail an allocation quietly, and malloc sets it).
class CodecErrnoScope {
 public:
  CodecErrnoScope();
  ~CodecErrnoScope();
  CodecErrnoScope(const CodecErrnoScope&) = delete;
  CodecErrnoScope& operator=(const CodecErrnoScope&) = delete;
  bool ranOutOfMemory() const;

 private:
  int saved_;
};
