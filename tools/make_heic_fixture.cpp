// Writes tests/data/images/halves-16x8.heic, the real HEIC picture the image tests decode: 16 x 8
// pixels, the left half pure red and the right half pure blue, opaque, encoded by libheif's own
// HEVC encoder (not by the application's HeifCodec) at its best quality.
// Build and run from the repository root:
//   g++ -std=c++20 tools/make_heic_fixture.cpp $(pkg-config --cflags --libs libheif) -o /tmp/make_heic_fixture
//   /tmp/make_heic_fixture tests/data/images/halves-16x8.heic
#include <libheif/heif.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s output.heic\n", argv[0]);
    return 2;
  }
  const int width = 16, height = 8;
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  heif_image* image = nullptr;
  if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code ||
      heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image).code ||
      heif_image_add_plane(image, heif_channel_interleaved, width, height, 8).code) {
    std::fprintf(stderr, "no HEVC encoder\n");
    return 1;
  }
  heif_encoder_set_lossy_quality(encoder, 100);
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* pixel = plane + y * stride + x * 3;
      pixel[0] = x < width / 2 ? 255 : 0;
      pixel[1] = 0;
      pixel[2] = x < width / 2 ? 0 : 255;
    }
  if (heif_context_encode_image(context, image, encoder, nullptr, nullptr).code ||
      heif_context_write_to_file(context, argv[1]).code) {
    std::fprintf(stderr, "encoding failed\n");
    return 1;
  }
  heif_image_release(image);
  heif_encoder_release(encoder);
  heif_context_free(context);
  return 0;
}
