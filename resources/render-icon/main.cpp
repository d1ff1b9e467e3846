// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

// stelvo-render-icon: renders the program's SVG icon to the PNG sizes of an
// icon theme, at build time, so that no picture is kept twice in the tree.
//
//   stelvo-render-icon SVG OUTDIR NAME SIZE...
//
// writes OUTDIR/<SIZE>x<SIZE>/apps/NAME.png for each size. Exits 0 when every
// file was written; otherwise prints why on standard error and exits 1 (2
// for a usage error).

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

namespace {

int fail(const QString& text)
{
    std::fprintf(stderr, "stelvo-render-icon: %s\n", qPrintable(text));
    return 1;
}

// Renders the whole picture into a transparent square of `size` pixels.
QImage render(QSvgRenderer& renderer, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fputs("usage: stelvo-render-icon SVG OUTDIR NAME SIZE...\n", stderr);
        return 2;
    }
    // A build machine has no display; drawing into an image needs none.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();

    QSvgRenderer renderer(arguments[1]);
    if (!renderer.isValid())
        return fail(QStringLiteral("cannot read %1").arg(arguments[1]));
    for (const QString& sizeText : arguments.mid(4)) {
        bool ok = false;
        const int size = sizeText.toInt(&ok);
        if (!ok || size <= 0 || size > 4096)
            return fail(QStringLiteral("not a size: %1").arg(sizeText));
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(arguments[2]).arg(size);
        const QString path = folder + u'/' + arguments[3] + QLatin1String(".png");
        if (!QDir().mkpath(folder) || !render(renderer, size).save(path, "PNG"))
            return fail(QStringLiteral("cannot write %1").arg(path));
    }
    return 0;
}
