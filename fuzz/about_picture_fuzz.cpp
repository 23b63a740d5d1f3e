// The about box's JPEG decoder with any bytes: it returns an image or a null one, never crashes.
#include <cstddef>
#include <cstdint>

#include "jpeg_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QImage image = tavc::assistant::DecodeJpeg(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    (void)image;
    return 0;
}
