#include "TestImages.h"

ImageFrame RandomFrame(int width, int height, int bitsPerPixel, std::uint32_t seed)
{
    ImageFrame frame;
    frame.Create(width, height, bitsPerPixel);
    std::mt19937 random(seed);
    const int bytes = frame.BytesPerPixel();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = frame.Row(y);
        for (int x = 0; x < width * bytes; ++x)
            row[x] = static_cast<std::uint8_t>(random());
        if (bitsPerPixel == 32) {
            for (int x = 0; x < width; ++x)
                row[4 * x + 3] = 0xFF;
        }
    }
    return frame;
}

ImageFrame FlatFrame(int width, int height, int bitsPerPixel, int red, int green, int blue)
{
    ImageFrame frame;
    frame.Create(width, height, bitsPerPixel);
    QImage view = frame.Image(); // shares, then detaches on write: copy back through Adopt
    view.fill(QColor(red, green, blue));
    frame.Adopt(view);
    return frame;
}

ImageFrame GradientFrame(int width, int height, int bitsPerPixel)
{
    ImageFrame frame;
    frame.Create(width, height, bitsPerPixel);
    QImage image = frame.Image();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y,
                                QColor(x * 255 / std::max(1, width - 1), y * 255 / std::max(1, height - 1),
                                       (x + y) * 255 / std::max(1, width + height - 2)));
    frame.Adopt(image);
    return frame;
}

Rgb PixelAt(const ImageFrame& frame, int x, int y)
{
    const QRgb pixel = frame.Image().pixel(x, y);
    return {qRed(pixel), qGreen(pixel), qBlue(pixel)};
}
