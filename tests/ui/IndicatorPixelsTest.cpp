#include "ui/LoadingSpinner.h"
#include "ui/MenuBarIcon.h"
#include "ui/RippleIndicator.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

namespace {

QImage canvas(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

int alphaAt(const QImage& image, int x, int y) {
    return qAlpha(image.pixel(x, y));
}

TEST(Indicators, SpinnerAtPhaseZero) {
    // At side 15 a cell is exactly one pixel, so every dot covers whole pixels.
    QImage image = canvas(15, 15);
    {
        QPainter painter(&image);
        LoadingSpinner::paintFrame(painter, 15, 0.0, Qt::black);
    }
    struct Case {
        const char* name;
        int column;
        int row;
        double opacity;
    };
    const Case cases[] = {
        {"segment 0 lit", 12, 6, 1.0},
        {"segment 1, phase 0.875", 10, 10, 0.3},
        {"segment 4, phase 0.5", 0, 6, 0.6},
        {"segment 7, phase 0.125", 10, 2, 0.9},
    };
    for (const Case& c : cases) {
        // A segment is four dots with one empty cell between them.
        for (const int dx : {0, 2}) {
            for (const int dy : {0, 2}) {
                EXPECT_NEAR(alphaAt(image, c.column + dx, c.row + dy), c.opacity * 255, 2)
                    << c.name << " dot " << dx << "," << dy;
            }
        }
        EXPECT_EQ(alphaAt(image, c.column + 1, c.row), 0) << c.name;
        EXPECT_EQ(alphaAt(image, c.column + 1, c.row + 1), 0) << c.name;
    }
    // Segment 0 spans the pixels from 12 to 15 across and from 6 to 9 down, and nothing beside.
    EXPECT_EQ(alphaAt(image, 11, 6), 0);
    EXPECT_EQ(alphaAt(image, 12, 5), 0);
    EXPECT_EQ(alphaAt(image, 14, 9), 0);
    EXPECT_EQ(alphaAt(image, 7, 7), 0);
}

TEST(Indicators, RippleAtPhaseZero) {
    const int side = 60;
    QImage image = canvas(side, side);
    {
        QPainter painter(&image);
        RippleIndicator::paintFrame(painter, QSizeF(side, side), 0.0, Qt::black);
    }
    // Ink crossed along the centre row around a radius: the ring's opacity times its one-pixel
    // width.
    const auto inkAround = [&](int x) {
        int sum = 0;
        for (int i = x - 4; i <= x + 4; ++i)
            sum += alphaAt(image, i, side / 2) + alphaAt(image, i, side / 2 - 1);
        return sum / 2.0;
    };
    // Ring 0 has radius 0: nothing at the centre.
    EXPECT_LT(inkAround(side / 2), 5);
    // Ring 1 at two thirds of the half width, a third opaque.
    EXPECT_NEAR(inkAround(side / 2 + 20), 255.0 / 3, 20);
    EXPECT_NEAR(inkAround(side / 2 - 20), 255.0 / 3, 20);
    // Ring 2 at one third, two thirds opaque.
    EXPECT_NEAR(inkAround(side / 2 + 10), 255.0 * 2 / 3, 25);
    // Nothing beyond the outer ring.
    EXPECT_EQ(alphaAt(image, side - 2, side / 2), 0);
}

TEST(Indicators, MenuBarImageHasThirtyTwoDotsInItsRing) {
    // At two pixels per unit a dot is three whole pixels on a four-pixel pitch.
    const QImage image = MenuBarIcon::image(2.0, Qt::black);
    ASSERT_EQ(image.size(), QSize(36, 36));
    const char* const rows[] = {"...XX...", ".XXXXXX.", ".XX..XX.", "XX....XX",
                                "XX....XX", ".XX..XX.", ".XXXXXX.", "...XX..."};
    int dots = 0;
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) {
            const int x = 2 + 4 * c;
            const int y = 2 + 4 * r;
            const bool expected = rows[r][c] == 'X';
            dots += expected ? 1 : 0;
            for (const int d : {0, 2})
                EXPECT_EQ(alphaAt(image, x + d, y + d), expected ? 255 : 0) << r << "," << c;
            // The gap after each dot stays empty.
            EXPECT_EQ(alphaAt(image, x + 3, y), 0) << r << "," << c;
        }
    }
    EXPECT_EQ(dots, 32);
    // Row 0: dots at columns 3 and 4 only, x = 7 and 9 units.
    EXPECT_EQ(alphaAt(image, 14, 2), 255);
    EXPECT_EQ(alphaAt(image, 18, 2), 255);
    EXPECT_EQ(alphaAt(image, 10, 2), 0);
    EXPECT_EQ(alphaAt(image, 22, 2), 0);
}

// The lit pixels of `image` in groups that touch, diagonals included: one group per dot that
// a viewer can tell apart from its neighbours.
std::vector<QRect> litGroups(const QImage& image, std::vector<int>& groupPixels) {
    std::vector<QRect> groups;
    std::vector<bool> seen(static_cast<std::size_t>(image.width() * image.height()));
    const auto index = [&](int x, int y) {
        return static_cast<std::size_t>(y * image.width() + x);
    };
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (seen[index(x, y)] || alphaAt(image, x, y) == 0)
                continue;
            QRect box(x, y, 1, 1);
            int pixels = 0;
            std::vector<QPoint> stack{{x, y}};
            seen[index(x, y)] = true;
            while (!stack.empty()) {
                const QPoint p = stack.back();
                stack.pop_back();
                ++pixels;
                box = box.united(QRect(p, QSize(1, 1)));
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const QPoint n(p.x() + dx, p.y() + dy);
                        if (!image.rect().contains(n) || seen[index(n.x(), n.y())] ||
                            alphaAt(image, n.x(), n.y()) == 0)
                            continue;
                        seen[index(n.x(), n.y())] = true;
                        stack.push_back(n);
                    }
                }
            }
            groups.push_back(box);
            groupPixels.push_back(pixels);
        }
    }
    return groups;
}

TEST(Indicators, MenuBarIconDotsStayLegibleAtSmallTraySizes) {
    constexpr int smallestDot = 2;
    constexpr int fewestDots = 12;
    for (int size = 16; size <= 24; ++size) {
        const QImage image = MenuBarIcon::image(size / 18.0, Qt::black);
        ASSERT_EQ(image.width(), size);
        std::vector<int> pixels;
        const std::vector<QRect> dots = litGroups(image, pixels);
        EXPECT_GE(dots.size(), fewestDots) << size << " px: the dots run together";
        for (std::size_t i = 0; i < dots.size(); ++i) {
            const QRect& dot = dots[i];
            EXPECT_GE(dot.width(), smallestDot) << size << " px";
            EXPECT_EQ(dot.width(), dot.height()) << size << " px";
            // A solid square of full coverage, not a blurred or merged shape.
            EXPECT_EQ(pixels[i], dot.width() * dot.height()) << size << " px";
            EXPECT_EQ(alphaAt(image, dot.x(), dot.y()), 255) << size << " px";
        }
    }
}

TEST(Indicators, MenuBarIconDrawsAtAnySizeInTheGivenColour) {
    const QIcon icon = MenuBarIcon::icon(Qt::white, Qt::black);
    for (const int size : {16, 22, 44}) {
        const QImage image = icon.pixmap(QSize(size, size)).toImage();
        ASSERT_FALSE(image.isNull()) << size;
        int lit = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (qAlpha(pixel) > 0) {
                    ++lit;
                    // White whether or not the pixel comes premultiplied.
                    EXPECT_GE(qRed(pixel), qAlpha(pixel) - 1);
                }
            }
        }
        EXPECT_GT(lit, 0) << size;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
    }
}

TEST(Indicators, TrayIconIsTheThemesSymbolicIconWhereInstalled) {
    const QStringList paths = QIcon::themeSearchPaths();
    const QString theme = QIcon::themeName();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QIcon::setThemeSearchPaths({dir.path()});
    QIcon::setThemeName(QStringLiteral("hicolor"));
    const QIcon drawn = MenuBarIcon::trayIcon(Qt::white, Qt::black);
    EXPECT_TRUE(drawn.name().isEmpty());
    EXPECT_FALSE(drawn.pixmap(QSize(22, 22)).isNull());

    const QString apps = dir.filePath(QStringLiteral("hicolor/symbolic/apps"));
    ASSERT_TRUE(QDir().mkpath(apps));
    QFile index(dir.filePath(QStringLiteral("hicolor/index.theme")));
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=hicolor\nDirectories=symbolic/apps\n\n"
                "[symbolic/apps]\nSize=16\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    index.close();
    ASSERT_TRUE(QFile::copy(QStringLiteral(SKERROW_SYMBOLIC_ICON),
                            apps + QLatin1Char('/') + QLatin1String(MenuBarIcon::themeName) +
                                QStringLiteral(".svg")));
    // Icon lookups are cached per theme name: a new name makes the theme be read afresh.
    QIcon::setThemeName(QStringLiteral("hicolor"));
    EXPECT_EQ(MenuBarIcon::trayIcon(Qt::white, Qt::black).name(),
              QLatin1String(MenuBarIcon::themeName));
    QIcon::setThemeSearchPaths(paths);
    QIcon::setThemeName(theme);
}

} // namespace
