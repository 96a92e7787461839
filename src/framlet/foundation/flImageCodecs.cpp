#include "framlet/foundation/flImageCodecs.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

#include <cerrno>
#include <cstdlib>
#include <new>

namespace {

thread_local int t_lookups = 0;

}  // namespace

FLImageHandlerLookup::FLImageHandlerLookup() {
  // Had and given back at once: what is freed stays with the heap for the look-up's blocks.
  void* headroom = std::malloc(kImageLookupHeadroom);
  if (!headroom) throw std::bad_alloc();
  std::free(headroom);
  ++t_lookups;
}

FLImageHandlerLookup::~FLImageHandlerLookup() { --t_lookups; }

extern "C" bool InImageHandlerLookup() noexcept { return t_lookups > 0; }

CodecErrnoScope::CodecErrnoScope() : saved_(errno) { errno = 0; }

CodecErrnoScope::~CodecErrnoScope() {
  if (errno == 0) errno = saved_;
}

bool CodecErrnoScope::ranOutOfMemory() const { return errno == ENOMEM; }

bool OpenImageReader(QImageReader& reader) {
  const FLImageHandlerLookup lookup;
  return reader.canRead();
}

QImage ReadImageFrame(QImageReader& reader) {
  QImage frame = reader.read();
  if (frame.isNull() && errno == ENOMEM) throw std::bad_alloc();
  return frame;
}

void ThrowIfBitmapFailedForMemory(const QImage& bitmap) {
  if (bitmap.isNull() && errno == ENOMEM) throw std::bad_alloc();
}

QByteArray EncodeImage(const QImage& bitmap, const char* format, int quality, int tiffCompression) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  if (quality >= 0) writer.setQuality(quality);
  if (tiffCompression >= 0) writer.setCompression(tiffCompression);
  {
    const FLImageHandlerLookup lookup;
    if (!writer.canWrite()) return {};
  }
  const CodecErrnoScope codec;
  if (writer.write(bitmap)) return data;
  if (codec.ranOutOfMemory()) throw std::bad_alloc();
  return {};
}
