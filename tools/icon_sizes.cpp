// Build tool: the program's icon at the sizes of the freedesktop icon theme, each pixel of the small
// original drawn as a square of pixels, so the picture stays as sharp as it was drawn.
//   tavc-icon-sizes SOURCE.png FOLDER NAME SIZE...   writes FOLDER/<SIZE>x<SIZE>/apps/NAME.png
#include <QDir>
#include <QImage>
#include <QString>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: tavc-icon-sizes SOURCE.png FOLDER NAME SIZE...\n");
        return 2;
    }
    const QImage source = QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_ARGB32);
    if (source.isNull()) {
        std::fprintf(stderr, "tavc-icon-sizes: cannot read %s\n", argv[1]);
        return 1;
    }
    for (int i = 4; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        const QString file = folder + u'/' + QString::fromLocal8Bit(argv[3]) + QStringLiteral(".png");
        if (size <= 0 || !QDir().mkpath(folder) ||
            !source.scaled(size, size, Qt::KeepAspectRatio, Qt::FastTransformation).save(file, "PNG")) {
            std::fprintf(stderr, "tavc-icon-sizes: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
