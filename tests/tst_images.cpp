// The window's pictures as the program finds them in its resource
// collection: every file the form names is there under its exact name, in its
// format and at its stored size, holds a real drawing, and lets the white
// window show around it; the one path the form names without a file stays
// missing. Also the program file's own icon, which lives beside the collection.

#include <QColor>
#include <QDir>
#include <QHash>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QResource>
#include <QTest>
#include <QtEndian>

namespace {

const QString imageDir = QStringLiteral(":/img/img/");

struct Picture
{
    const char *name;
    const char *format;
    int width;
    int height;
    const char *colour; // what most of the drawing is, white left aside
};

// The collection, as the window relies on it. The colours are those the
// window's layout counts on: a green connected button swapped with the red
// one, or a blue step number with an orange one, would mislead the user.
const Picture pictures[] = {
    {"tag.png", "png", 117, 117, "orange"},
    {"VARNO sans ombre big.png", "png", 1572, 1636, "blue"},
    {"icone_info.png", "png", 24, 24, "orange"},
    {"valoris2.png", "png", 527, 244, "blue"},
    {"refresh.png", "png", 294, 274, "grey"},
    {"usb_off.png", "png", 129, 129, "red"},
    {"usb_on.png", "png", 129, 129, "green"},
    {"cowired.png", "png", 487, 129, "green"},
    {"decowire.png", "png", 544, 91, "red"},
    {"downarrow.png", "png", 17, 12, "grey"},
    {"fleche_droite_bleu.png", "png", 149, 125, "blue"},
    {"fleche_gauche_orange.png", "png", 138, 150, "orange"},
    {"nb1_bleu.png", "png", 143, 143, "blue"},
    {"nb2_bleu.png", "png", 143, 143, "blue"},
    {"nb3_orange.png", "png", 143, 143, "orange"},
    {"nb4_orange.png", "png", 143, 143, "orange"},
    {"bnc.png", "png", 63, 63, "grey"},
    {"rfsignal_bleu_orange.png", "png", 135, 135, "blue"},
    {"chip_orange.png", "png", 245, 144, "orange"},
    {"chip_rouge.png", "png", 245, 144, "red"},
    {"arrow_down.png", "png", 146, 174, "blue"},
    {"tick.png", "png", 334, 279, "green"},
    {"chip_bleu.png", "png", 133, 97, "blue"},
    {"rfsignal_orange_gauche.png", "png", 110, 165, "orange"},
    {"rfsignal_orange_droite.png", "png", 110, 165, "orange"},
    {"marqeur_gauche.png", "png", 117, 98, "orange"},
    {"VARNO avec ombre big.png", "png", 1834, 1934, "blue"},
    {"logovalorisnew.png", "png", 590, 403, "blue"},
    {"valoris_carre.gif", "gif", 453, 450, "blue"},
    {"valoris.ico", "ico", 256, 256, "blue"},
};

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

quint16 le16(const QByteArray &bytes, int at) { return qFromLittleEndian<quint16>(bytes.constData() + at); }
quint32 le32(const QByteArray &bytes, int at) { return qFromLittleEndian<quint32>(bytes.constData() + at); }
quint32 be32(const QByteArray &bytes, int at) { return qFromBigEndian<quint32>(bytes.constData() + at); }

// Share of the pixels that are fully opaque.
double opaqueShare(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    qint64 opaque = 0;
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            opaque += qAlpha(line[x]) == 255;
    }
    return double(opaque) / (qint64(argb.width()) * argb.height());
}

// The colour family of most opaque pixels, white aside: "grey" for the
// unsaturated ones, else "red", "orange", "green" or "blue" by hue.
QString dominantColour(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QHash<QString, qint64> counts;
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(line[x]) != 255)
                continue;
            const QColor colour = QColor::fromRgb(line[x]);
            const int hue = colour.hsvHue();
            if (colour.hsvSaturation() < 40) {
                if (colour.value() < 235)
                    ++counts[QStringLiteral("grey")];
            } else if (hue < 12 || hue >= 340) {
                ++counts[QStringLiteral("red")];
            } else if (hue < 40) {
                ++counts[QStringLiteral("orange")];
            } else if (hue >= 90 && hue < 150) {
                ++counts[QStringLiteral("green")];
            } else if (hue >= 180 && hue < 230) {
                ++counts[QStringLiteral("blue")];
            }
        }
    }
    QString best;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (best.isEmpty() || it.value() > counts.value(best))
            best = it.key();
    }
    return best;
}

} // namespace

class TestImages : public QObject
{
    Q_OBJECT

private slots:
    void pictureIsInTheCollection_data();
    void pictureIsInTheCollection();
    void pictureHoldsADrawing_data();
    void pictureHoldsADrawing();
    void pngIsRgbaOfEightBitsAChannel_data();
    void pngIsRgbaOfEightBitsAChannel();
    void pngLetsTheWindowShowAround_data();
    void pngLetsTheWindowShowAround();

    void collectionHoldsExactlyTheTable();
    void scanPictureIsMissing();
    void makerIconIsOneEightBitImageOf256();
    void makerIconIsTransparentAroundItsTile();
    void programIconIsOne117PixelPng();
    void configurationPicturesDifferOnlyInTheirFamily();

private:
    static void addPictureRows(const char *onlyFormat = nullptr);
};

void TestImages::addPictureRows(const char *onlyFormat)
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("colour");
    for (const Picture &picture : pictures) {
        if (onlyFormat && qstrcmp(picture.format, onlyFormat) != 0)
            continue;
        QTest::newRow(picture.name) << imageDir + QString::fromUtf8(picture.name)
                                    << QByteArray(picture.format)
                                    << QSize(picture.width, picture.height)
                                    << QString::fromUtf8(picture.colour);
    }
}

void TestImages::pictureIsInTheCollection_data() { addPictureRows(); }

void TestImages::pictureIsInTheCollection()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);

    QVERIFY2(QFile::exists(path), qPrintable(path));
    QResource resource(path);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);

    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
}

void TestImages::pictureHoldsADrawing_data() { addPictureRows(); }

// A picture that rendered empty, or a file swapped with another of the same
// size, still has the right name and size; only its pixels tell.
void TestImages::pictureHoldsADrawing()
{
    QFETCH(QString, path);
    QFETCH(QString, colour);

    const QImage image(path);
    QVERIFY(!image.isNull());
    QVERIFY2(opaqueShare(image) > 0.05, "almost nothing of the drawing is opaque");
    QCOMPARE(dominantColour(image), colour);
}

void TestImages::pngIsRgbaOfEightBitsAChannel_data() { addPictureRows("png"); }

void TestImages::pngIsRgbaOfEightBitsAChannel()
{
    QFETCH(QString, path);

    const QByteArray png = contentsOf(path);
    QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
    QCOMPARE(png.mid(12, 4), QByteArray("IHDR"));
    QCOMPARE(int(quint8(png.at(24))), 8); // bit depth
    QCOMPARE(int(quint8(png.at(25))), 6); // colour type: RGB with alpha
}

void TestImages::pngLetsTheWindowShowAround_data() { addPictureRows("png"); }

// Every PNG stands on the white window or on a button: its corners are
// transparent, so no box of its own background shows around the drawing.
void TestImages::pngLetsTheWindowShowAround()
{
    QFETCH(QString, path);

    const QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(image.hasAlphaChannel());
    const int right = image.width() - 1;
    const int bottom = image.height() - 1;
    for (const QPoint corner : {QPoint(0, 0), QPoint(right, 0), QPoint(0, bottom), QPoint(right, bottom)})
        QVERIFY2(qAlpha(image.pixel(corner)) == 0,
                 qPrintable(QStringLiteral("corner %1,%2 is not transparent").arg(corner.x()).arg(corner.y())));
}

void TestImages::collectionHoldsExactlyTheTable()
{
    QStringList expected;
    for (const Picture &picture : pictures)
        expected << QString::fromUtf8(picture.name);
    expected.sort();

    QStringList present = QDir(imageDir).entryList(QDir::Files, QDir::Name);
    present.sort();
    QCOMPARE(present, expected);
}

// The type A page's scan button names this picture and must be drawn
// without one.
void TestImages::scanPictureIsMissing()
{
    const QString scan = imageDir + QStringLiteral("scan.png");
    QVERIFY(!QFile::exists(scan));
    QVERIFY(QImage(scan).isNull());
}

void TestImages::makerIconIsOneEightBitImageOf256()
{
    const QByteArray ico = contentsOf(imageDir + QStringLiteral("valoris.ico"));
    QVERIFY(ico.size() > 6 + 16 + 40);

    QCOMPARE(le16(ico, 0), quint16(0)); // reserved
    QCOMPARE(le16(ico, 2), quint16(1)); // an icon, not a cursor
    QCOMPARE(le16(ico, 4), quint16(1)); // one image

    // The directory entry: 0 stands for 256 in the width and height bytes.
    QCOMPARE(int(quint8(ico.at(6))), 0);
    QCOMPARE(int(quint8(ico.at(7))), 0);
    QCOMPARE(le16(ico, 6 + 6), quint16(8)); // bits per pixel
    const quint32 bytes = le32(ico, 6 + 8);
    const quint32 offset = le32(ico, 6 + 12);
    QCOMPARE(quint64(offset) + bytes, quint64(ico.size()));

    // The image itself: a bitmap header of 256 x (2 x 256), colour and mask
    // stacked, 8 bits per pixel, uncompressed, then 256 palette entries.
    QCOMPARE(le32(ico, offset), quint32(40));
    QCOMPARE(le32(ico, offset + 4), quint32(256));
    QCOMPARE(le32(ico, offset + 8), quint32(512));
    QCOMPARE(le16(ico, offset + 14), quint16(8));
    QCOMPARE(le32(ico, offset + 16), quint32(0));
    const quint32 colourRows = 256 * 256;
    const quint32 maskRows = 256 * (256 / 8);
    QCOMPARE(bytes, 40 + 256 * 4 + colourRows + maskRows);

    QImageReader reader(imageDir + QStringLiteral("valoris.ico"));
    QCOMPARE(reader.imageCount(), 1);
    const QImage image = reader.read();
    QCOMPARE(image.size(), QSize(256, 256));
}

// The icon's transparency lives in its 1-bit mask; a mask left empty would
// show a black or white square around the tile.
void TestImages::makerIconIsTransparentAroundItsTile()
{
    const QImage image = QImage(imageDir + QStringLiteral("valoris.ico")).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!image.isNull());
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(255, 255)), 0);
    QCOMPARE(qAlpha(image.pixel(128, 128)), 255);
    QCOMPARE(qAlpha(image.pixel(128, 12)), 255); // on the tile's white, not a hole
}

// IDI_ICON1: one 117x117 image of 32 bits per pixel stored as PNG, and the
// PNG beside it that other systems can use.
void TestImages::programIconIsOne117PixelPng()
{
    const QString dir = QStringLiteral(TAGBENCH_IMAGES_DIR "/");
    const QByteArray ico = contentsOf(dir + QStringLiteral("tagbench.ico"));
    QVERIFY(ico.size() > 6 + 16);
    QCOMPARE(le16(ico, 2), quint16(1));
    QCOMPARE(le16(ico, 4), quint16(1));
    QCOMPARE(int(quint8(ico.at(6))), 117);
    QCOMPARE(int(quint8(ico.at(7))), 117);
    QCOMPARE(le16(ico, 6 + 6), quint16(32));
    const quint32 offset = le32(ico, 6 + 12);
    QCOMPARE(quint64(offset) + le32(ico, 6 + 8), quint64(ico.size()));

    const QByteArray png = ico.mid(int(offset));
    QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
    QCOMPARE(be32(png, 16), quint32(117));
    QCOMPARE(be32(png, 20), quint32(117));
    QCOMPARE(int(quint8(png.at(24))), 8);
    QCOMPARE(int(quint8(png.at(25))), 6);
    QCOMPARE(png, contentsOf(dir + QStringLiteral("tagbench.png")));

    const QImage fromIcon = QImage::fromData(ico, "ico");
    QCOMPARE(fromIcon.size(), QSize(117, 117));
}

// The two reload pictures are one drawing whose diskette names a different
// card family: same size, and most of the picture alike, yet not the same.
void TestImages::configurationPicturesDifferOnlyInTheirFamily()
{
    const QImage typeA = QImage(imageDir + QStringLiteral("chip_orange.png")).convertToFormat(QImage::Format_ARGB32);
    const QImage vicinity = QImage(imageDir + QStringLiteral("chip_rouge.png")).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(typeA.size(), vicinity.size());

    qint64 same = 0;
    for (int y = 0; y < typeA.height(); ++y)
        for (int x = 0; x < typeA.width(); ++x)
            same += typeA.pixel(x, y) == vicinity.pixel(x, y);
    const double sameShare = double(same) / (qint64(typeA.width()) * typeA.height());
    QVERIFY2(sameShare > 0.6, "the two reload pictures are not the same drawing");
    QVERIFY2(sameShare < 1.0, "the two reload pictures are identical");
}

QTEST_MAIN(TestImages)
#include "tst_images.moc"
