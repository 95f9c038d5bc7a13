#include "PhotoLikeImage.h"

#include <turbojpeg.h>

#include <cmath>
#include <random>
#include <vector>

QByteArray MakePhotoLikeJpeg(int width, int height)
{
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    std::mt19937 random(1234);
    std::normal_distribution<float> noise(0.0f, 6.0f);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / width, v = static_cast<float>(y) / height;
            // Sky, a horizon, textured ground and a few hard-edged objects.
            float r, g, b;
            if (v < 0.45f) {
                r = 90 + 80 * v;
                g = 140 + 60 * v;
                b = 230 - 40 * v;
            } else {
                const float texture =
                    20 * std::sin(x * 0.11f) * std::cos(y * 0.07f) + 12 * std::sin((x + y) * 0.31f);
                r = 70 + 60 * u + texture;
                g = 110 + 30 * v + texture;
                b = 40 + 20 * u + texture * 0.5f;
            }
            if (((x / (width / 7)) + (y / (height / 5))) % 4 == 0 && v > 0.5f) {
                r = 200;
                g = 40;
                b = 35;
            }
            unsigned char* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<unsigned char>(std::clamp(r + noise(random), 0.0f, 255.0f));
            p[1] = static_cast<unsigned char>(std::clamp(g + noise(random), 0.0f, 255.0f));
            p[2] = static_cast<unsigned char>(std::clamp(b + noise(random), 0.0f, 255.0f));
        }
    }
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, pixels.data(), width, width * 3, height, TJPF_RGB, &jpeg, &size, TJSAMP_420, 90, 0);
    QByteArray bytes(reinterpret_cast<const char*>(jpeg), static_cast<qsizetype>(size));
    tjFree(jpeg);
    tjDestroy(handle);
    return bytes;
}
