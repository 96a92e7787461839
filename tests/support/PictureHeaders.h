// Picture files that are only what a decoder reads before it decodes: a PNG whose header claims
// any size, with no pixels after it. A reader that prices pictures by their headers refuses the
// large ones without decoding a pixel; one that decodes them would fail, or try to allocate.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QtEndian>

#include <cstdint>

inline uint32_t PngCrc(const QByteArray& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (const char byte : bytes) {
    crc ^= uint8_t(byte);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

inline QByteArray PngChunk(const char* type, const QByteArray& data) {
  QByteArray length(4, 0), crc(4, 0);
  qToBigEndian<quint32>(quint32(data.size()), length.data());
  const QByteArray body = QByteArray(type, 4) + data;
  qToBigEndian<quint32>(PngCrc(body), crc.data());
  return length + body + crc;
}

// An 8-bit RGBA PNG (32 bits a pixel decoded) of the size, whose image data is one empty block:
// its header is sound, its pixels are missing.
inline QByteArray PngHeaderOnly(uint32_t width, uint32_t height) {
  QByteArray header(13, 0);
  qToBigEndian<quint32>(width, header.data());
  qToBigEndian<quint32>(height, header.data() + 4);
  header[8] = 8;  // bits a channel
  header[9] = 6;  // RGBA
  return QByteArray("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", header) +
         PngChunk("IDAT", QByteArray("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) + PngChunk("IEND", QByteArray());
}

// A whole PNG of one colour, side x side pixels: a few hundred bytes, side x side x 4 decoded.
inline QByteArray Png(int side, QColor colour = Qt::red) {
  QImage image(side, side, QImage::Format_ARGB32);
  image.fill(colour);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return png;
}
