// Reading and writing HEIC pictures, which the platform's image classes handle themselves and Qt
// has no plug-in for: a small wrapper around libheif that turns HEIC bytes into a QImage and back.
// Whether an encoder exists is known only at run time (libheif is built with or without one).
#pragma once

#include <QByteArray>
#include <QImage>

#include <functional>
#include <optional>

// What decoding a HEIF picture holds at once, in bits a pixel: libheif's planes, its
// interleaved image and the bitmap made of it.
inline constexpr int kHeifDecodingBitsPerPixel = 96;

// The primary image of HEIC (or other HEIF) bytes, upright (the file's rotation, mirroring and
// cropping applied), in 8 bits per channel with alpha when the file has it; nothing when the
// bytes are no HEIF image, nothing here can decode it, or it is larger than a picture can be.
// `admit` (when given) is asked with the picture's size as its file gives it, before anything of
// it is decoded; NO leaves it undecoded. Throws std::bad_alloc when libheif runs out of memory.
std::optional<QImage> DecodeHeif(const QByteArray& data, const std::function<bool(int width, int height)>& admit = {});

// Whether this machine's libheif can decode or encode HEVC-coded HEIF images.
bool CanDecodeHeif();
bool CanEncodeHeif();

// The image as a HEIC file, lossy at a quality of 0.0 (smallest) to 1.0 (best), with its alpha
// channel when it has one; nothing when there is no encoder or encoding fails; std::bad_alloc when
// libheif runs out of memory.
std::optional<QByteArray> EncodeHeif(const QImage& image, float quality);
