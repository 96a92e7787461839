#include "platform/HeifCodec.h"

#include <libheif/heif.h>

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace {

// libheif and the codecs it brings (several large libraries, one of which sets itself up as it is
// loaded) are loaded the first time a picture needs them, not with the program: nearly every
// run never meets a HEIC picture, and each would pay for them at launch.
constexpr const char* kHeifLibrary = "libheif.so.1";

#define HEIF_FUNCTIONS(X)                                                                                 \
  X(heif_check_filetype) X(heif_context_alloc) X(heif_context_encode_image) X(heif_context_free)           \
  X(heif_context_get_encoder_for_format) X(heif_context_get_primary_image_handle)                          \
  X(heif_context_read_from_memory_without_copy) X(heif_context_set_maximum_image_size_limit)               \
  X(heif_context_write) X(heif_decode_image) X(heif_encoder_release) X(heif_encoder_set_lossy_quality)      \
  X(heif_have_decoder_for_format) X(heif_have_encoder_for_format) X(heif_image_add_plane)                  \
  X(heif_image_create) X(heif_image_get_bits_per_pixel_range) X(heif_image_get_height)                    \
  X(heif_image_get_plane) X(heif_image_get_plane_readonly) X(heif_image_get_width)                        \
  X(heif_image_handle_get_height) X(heif_image_handle_get_width) X(heif_image_handle_has_alpha_channel)    \
  X(heif_image_handle_is_premultiplied_alpha) X(heif_image_handle_release) X(heif_image_release)

struct HeifLibrary {
#define HEIF_POINTER(name) decltype(&::name) name = nullptr;
  HEIF_FUNCTIONS(HEIF_POINTER)
#undef HEIF_POINTER
};

// The library's functions, or nullptr when it (or one of them) is missing: then nothing here
// decodes or encodes, as with a libheif built without codecs. Loaded once and kept.
const HeifLibrary* Heif() {
  static const HeifLibrary* const library = []() -> const HeifLibrary* {
    void* handle = ::dlopen(kHeifLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return nullptr;
    static HeifLibrary functions;
    bool complete = true;
#define HEIF_RESOLVE(name)                                                           \
  functions.name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name)); \
  complete = complete && functions.name != nullptr;
    HEIF_FUNCTIONS(HEIF_RESOLVE)
#undef HEIF_RESOLVE
    return complete ? &functions : nullptr;
  }();
  return library;
}

// A picture's side in pixels is at most this (as for every bitmap of the application), and its
// area at most the square of kMaxPixelsSide, so a hostile file cannot ask for gigabytes.
constexpr int kMaxSide = 32767;
constexpr int kMaxPixelsSide = 16384;

// Made only once the library is loaded.
struct ContextDeleter {
  void operator()(heif_context* context) const { Heif()->heif_context_free(context); }
};
struct HandleDeleter {
  void operator()(heif_image_handle* handle) const { Heif()->heif_image_handle_release(handle); }
};
struct ImageDeleter {
  void operator()(heif_image* image) const { Heif()->heif_image_release(image); }
};
struct EncoderDeleter {
  void operator()(heif_encoder* encoder) const { Heif()->heif_encoder_release(encoder); }
};
using Context = std::unique_ptr<heif_context, ContextDeleter>;
using Handle = std::unique_ptr<heif_image_handle, HandleDeleter>;
using Image = std::unique_ptr<heif_image, ImageDeleter>;
using Encoder = std::unique_ptr<heif_encoder, EncoderDeleter>;

// A failure of libheif's for memory is thrown, as any allocation that fails: never told as a
// picture that cannot be read or written.
bool Failed(const heif_error& error) {
  if (error.code == heif_error_Memory_allocation_error) throw std::bad_alloc();
  return error.code != heif_error_Ok;
}

bool SizeAllowed(int width, int height) {
  return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide &&
         qint64(width) * height <= qint64(kMaxPixelsSide) * kMaxPixelsSide;
}

heif_error AppendToByteArray(heif_context*, const void* data, size_t size, void* userdata) {
  auto* out = static_cast<QByteArray*>(userdata);
  out->append(static_cast<const char*>(data), qsizetype(size));
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

}  // namespace

bool CanDecodeHeif() {
  const HeifLibrary* heif = Heif();
  return heif && heif->heif_have_decoder_for_format(heif_compression_HEVC) != 0;
}

bool CanEncodeHeif() {
  const HeifLibrary* heif = Heif();
  return heif && heif->heif_have_encoder_for_format(heif_compression_HEVC) != 0;
}

std::optional<QImage> DecodeHeif(const QByteArray& data, const std::function<bool(int width, int height)>& admit) {
  const HeifLibrary* heif = Heif();
  if (!heif) return std::nullopt;
  if (data.isEmpty() || heif->heif_check_filetype(reinterpret_cast<const uint8_t*>(data.constData()),
                                            int(std::min<qsizetype>(data.size(), 64))) ==
                            heif_filetype_no)
    return std::nullopt;
  Context context(heif->heif_context_alloc());
  if (!context) return std::nullopt;
  heif->heif_context_set_maximum_image_size_limit(context.get(), kMaxPixelsSide);
  // data outlives the context, so libheif may read it in place.
  if (Failed(heif->heif_context_read_from_memory_without_copy(context.get(), data.constData(),
                                                         size_t(data.size()), nullptr)))
    return std::nullopt;
  heif_image_handle* rawHandle = nullptr;
  if (Failed(heif->heif_context_get_primary_image_handle(context.get(), &rawHandle))) return std::nullopt;
  Handle handle(rawHandle);
  const int fileWidth = heif->heif_image_handle_get_width(handle.get());
  const int fileHeight = heif->heif_image_handle_get_height(handle.get());
  if (!SizeAllowed(fileWidth, fileHeight) || (admit && !admit(fileWidth, fileHeight))) return std::nullopt;

  const bool alpha = heif->heif_image_handle_has_alpha_channel(handle.get()) != 0;
  heif_image* rawImage = nullptr;
  if (Failed(heif->heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                               alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                               nullptr)))
    return std::nullopt;
  Image decoded(rawImage);
  // Sizes after the file's cropping and rotation, which may differ from the handle's.
  const int width = heif->heif_image_get_width(decoded.get(), heif_channel_interleaved);
  const int height = heif->heif_image_get_height(decoded.get(), heif_channel_interleaved);
  if (!SizeAllowed(width, height) ||
      heif->heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved) != 8)
    return std::nullopt;
  int stride = 0;
  const uint8_t* plane = heif->heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
  const int rowBytes = width * (alpha ? 4 : 3);
  if (!plane || stride < rowBytes) return std::nullopt;

  const QImage::Format format =
      !alpha ? QImage::Format_RGB888
             : heif->heif_image_handle_is_premultiplied_alpha(handle.get()) ? QImage::Format_RGBA8888_Premultiplied
                                                                      : QImage::Format_RGBA8888;
  QImage image(width, height, format);
  if (image.isNull()) return std::nullopt;
  for (int y = 0; y < height; ++y)
    std::memcpy(image.scanLine(y), plane + qsizetype(y) * stride, size_t(rowBytes));
  return image;
}

std::optional<QByteArray> EncodeHeif(const QImage& image, float quality) {
  if (image.isNull() || !SizeAllowed(image.width(), image.height()) || !CanEncodeHeif())
    return std::nullopt;
  // A bitmap drawn into usually has an alpha channel even where nothing is transparent; an
  // alpha channel that is opaque everywhere is left out of the file rather than stored.
  bool alpha = false;
  if (image.hasAlphaChannel()) {
    const QImage withAlpha = image.convertToFormat(QImage::Format_RGBA8888);
    if (withAlpha.isNull()) return std::nullopt;
    for (int y = 0; y < withAlpha.height() && !alpha; ++y) {
      const uchar* row = withAlpha.constScanLine(y);
      for (int x = 0; x < withAlpha.width(); ++x)
        if (row[x * 4 + 3] != 255) {
          alpha = true;
          break;
        }
    }
  }
  const QImage source = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
  if (source.isNull()) return std::nullopt;

  const HeifLibrary* heif = Heif();
  Context context(heif->heif_context_alloc());
  if (!context) return std::nullopt;
  heif_encoder* rawEncoder = nullptr;
  if (Failed(heif->heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &rawEncoder)))
    return std::nullopt;
  Encoder encoder(rawEncoder);
  const float bounded = std::isfinite(quality) ? std::clamp(quality, 0.0f, 1.0f) : 1.0f;
  if (Failed(heif->heif_encoder_set_lossy_quality(encoder.get(), int(std::lround(bounded * 100)))))
    return std::nullopt;

  heif_image* rawImage = nullptr;
  if (Failed(heif->heif_image_create(source.width(), source.height(), heif_colorspace_RGB,
                               alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                               &rawImage)))
    return std::nullopt;
  Image picture(rawImage);
  if (Failed(heif->heif_image_add_plane(picture.get(), heif_channel_interleaved, source.width(),
                                  source.height(), 8)))
    return std::nullopt;
  int stride = 0;
  uint8_t* plane = heif->heif_image_get_plane(picture.get(), heif_channel_interleaved, &stride);
  const int rowBytes = source.width() * (alpha ? 4 : 3);
  if (!plane || stride < rowBytes) return std::nullopt;
  for (int y = 0; y < source.height(); ++y)
    std::memcpy(plane + qsizetype(y) * stride, source.constScanLine(y), size_t(rowBytes));

  if (Failed(heif->heif_context_encode_image(context.get(), picture.get(), encoder.get(), nullptr, nullptr)))
    return std::nullopt;
  QByteArray out;
  heif_writer writer{};
  writer.writer_api_version = 1;
  writer.write = AppendToByteArray;
  if (Failed(heif->heif_context_write(context.get(), &writer, &out)) || out.isEmpty()) return std::nullopt;
  return out;
}
