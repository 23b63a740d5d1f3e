// The about box's picture: a JPEG decoded by libjpeg itself.
#pragma once

#include <QByteArray>
#include <QImage>

namespace tavc::assistant {

// Decodes a JPEG of at most 4096 x 4096 pixels; a null image when the data is no JPEG it can read.
QImage DecodeJpeg(const QByteArray& data);

}  // namespace tavc::assistant
