// libjpeg reports errors through a callback that must not return: it jumps back here instead.
#include <setjmp.h>
#include <stdio.h>

#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "jpeg_picture.h"

namespace tavc::assistant {

namespace {

struct ErrorJump {
    jpeg_error_mgr manager;
    jmp_buf back;
};

void OnError(j_common_ptr info) {
    longjmp(reinterpret_cast<ErrorJump*>(info->err)->back, 1);
}
void OnMessage(j_common_ptr) {}

}  // namespace

QImage DecodeJpeg(const QByteArray& data) {
    if (data.isEmpty()) return {};
    jpeg_decompress_struct info{};
    ErrorJump error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = OnError;
    error.manager.output_message = OnMessage;
    // Only plain data lives across the jump: the image is built after the last libjpeg call.
    static thread_local std::vector<unsigned char> pixels;
    pixels.clear();
    JDIMENSION width = 0, height = 0;
    if (setjmp(error.back) != 0) {
        jpeg_destroy_decompress(&info);
        return {};
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    // A picture larger than any the program would show is refused rather than allocated.
    if (info.image_width > 4096 || info.image_height > 4096) {
        jpeg_destroy_decompress(&info);
        return {};
    }
    jpeg_start_decompress(&info);
    width = info.output_width;
    height = info.output_height;
    pixels.resize(static_cast<size_t>(width) * height * 3);
    while (info.output_scanline < height) {
        JSAMPROW row = pixels.data() + static_cast<size_t>(info.output_scanline) * width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB888);
    for (JDIMENSION y = 0; y < height; ++y)
        std::memcpy(image.scanLine(static_cast<int>(y)), pixels.data() + static_cast<size_t>(y) * width * 3,
                    static_cast<size_t>(width) * 3);
    return image;
}

}  // namespace tavc::assistant
