#pragma once
// JPEG pictures through libjpeg, straight into a Qt image.

#include <QByteArray>
#include <QImage>

namespace app {

// Decodes a baseline or progressive JPEG (grey or colour) into an RGB image; a
// null image when the data is not a JPEG libjpeg can read. Never aborts: libjpeg's
// fatal errors come back here.
QImage DecodeJpeg(const QByteArray& data);

// Encodes an image as a JPEG of the given quality (1..100); empty on failure.
QByteArray EncodeJpeg(const QImage& image, int quality);

}  // namespace app
