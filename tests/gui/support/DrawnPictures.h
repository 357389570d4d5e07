#pragma once

#include <cmath>

#include <QByteArray>
#include <QImage>

#include "support/QtFiles.h"

// Pictures that tests draw themselves, as a site would serve them.
namespace nuv::test {

// A picture `width` by `height` pixels, as PNG: slanted soft stripes whose look stays when
// it is scaled; `other` draws them mirrored, which looks otherwise.
inline QByteArray DrawnPicture(int width, int height, bool other = false) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double t = 2.0 * (other ? width - 1 - x : x) / width + 0.5 * y / height;
            const double f = t - std::floor(t);
            const int v = static_cast<int>((f < 0.5 ? f : 1 - f) * 2 * 255);
            image.setPixel(x, y, qRgb(v, v / 2, 255 - v));
        }
    return PngOf(image);
}

}  // namespace nuv::test
