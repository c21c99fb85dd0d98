// Draws the device picture the window shows: the front panel of the rack unit
// with a red banner naming the firmware the updater carries.
//
//   QT_QPA_PLATFORM=offscreen drawpicture OUTPUT.png
//
// Run by hand when the picture should change; the PNG is committed.

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>

namespace {

constexpr QSize PictureSize(320, 87);
constexpr QRectF Panel(14, 4, 292, 58);
constexpr QRectF Banner(0, 66, 320, 18);
const QString FontFamily = QStringLiteral("DejaVu Sans");

QFont font(qreal pixels, int weight = QFont::Normal, qreal spacing = 0)
{
    QFont f(FontFamily);
    f.setPixelSize(qRound(pixels));
    f.setWeight(QFont::Weight(weight));
    f.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

void drawEar(QPainter &p, const QRectF &ear)
{
    QLinearGradient metal(ear.topLeft(), ear.topRight());
    metal.setColorAt(0, QColor(0x9a, 0x9e, 0xa4));
    metal.setColorAt(0.5, QColor(0xd8, 0xdb, 0xdf));
    metal.setColorAt(1, QColor(0x8c, 0x90, 0x96));
    p.setPen(QPen(QColor(0x5a, 0x5d, 0x62), 1));
    p.setBrush(metal);
    p.drawRoundedRect(ear, 2, 2);
    // Oval mounting slots.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2a, 0x2b, 0x2e));
    for (qreal y : {ear.top() + 9, ear.bottom() - 15})
        p.drawRoundedRect(QRectF(ear.center().x() - 3.5, y, 7, 6), 3, 3);
}

void drawKnob(QPainter &p, QPointF centre, qreal radius, qreal angleDegrees, const QString &label)
{
    QRadialGradient body(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    body.setColorAt(0, QColor(0x6b, 0x6e, 0x74));
    body.setColorAt(1, QColor(0x14, 0x15, 0x17));
    p.setPen(QPen(QColor(0x0a, 0x0a, 0x0b), 1));
    p.setBrush(body);
    p.drawEllipse(centre, radius, radius);
    const qreal a = qDegreesToRadians(angleDegrees);
    const QPointF tip(centre.x() + std::sin(a) * (radius - 1.5), centre.y() - std::cos(a) * (radius - 1.5));
    p.setPen(QPen(QColor(0xf2, 0xf2, 0xf2), 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + (tip - centre) * 0.35, tip);
    p.setPen(QColor(0xb8, 0xbc, 0xc2));
    p.setFont(font(6, QFont::Bold, 0.3));
    p.drawText(QRectF(centre.x() - 16, centre.y() + radius + 1, 32, 8), Qt::AlignCenter, label);
}

void drawButton(QPainter &p, QRectF r, QColor led, bool lit)
{
    p.setPen(QPen(QColor(0x0c, 0x0c, 0x0d), 1));
    QLinearGradient cap(r.topLeft(), r.bottomLeft());
    cap.setColorAt(0, QColor(0x55, 0x58, 0x5e));
    cap.setColorAt(1, QColor(0x2e, 0x30, 0x34));
    p.setBrush(cap);
    p.drawRoundedRect(r, 1.5, 1.5);
    const QPointF dot(r.center().x(), r.top() - 3.5);
    if (lit) {
        QRadialGradient glow(dot, 4);
        QColor halo = led;
        halo.setAlpha(110);
        glow.setColorAt(0, halo);
        glow.setColorAt(1, Qt::transparent);
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(dot, 4, 4);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(lit ? led : led.darker(320));
    p.drawEllipse(dot, 1.4, 1.4);
}

void drawDisplay(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(QColor(0x08, 0x08, 0x09), 1.5));
    p.setBrush(QColor(0x10, 0x11, 0x13));
    p.drawRoundedRect(r.adjusted(-2, -2, 2, 2), 2, 2);
    QLinearGradient glass(r.topLeft(), r.bottomLeft());
    glass.setColorAt(0, QColor(0x2b, 0x6c, 0x8f));
    glass.setColorAt(1, QColor(0x17, 0x46, 0x63));
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawRect(r);
    p.setPen(QColor(0xd8, 0xf1, 0xff));
    p.setFont(font(8, QFont::Bold));
    p.drawText(r.adjusted(4, 2, -3, 0), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Qel  v1.09"));
    p.setFont(font(8));
    p.drawText(r.adjusted(4, 0, -3, -2), Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("P001 MAIN"));
}

void drawPanel(QPainter &p)
{
    QLinearGradient face(Panel.topLeft(), Panel.bottomLeft());
    face.setColorAt(0, QColor(0x3c, 0x3f, 0x45));
    face.setColorAt(0.08, QColor(0x2c, 0x2e, 0x33));
    face.setColorAt(1, QColor(0x1d, 0x1e, 0x22));
    p.setPen(QPen(QColor(0x0d, 0x0d, 0x0f), 1));
    p.setBrush(face);
    p.drawRoundedRect(Panel, 2, 2);

    drawEar(p, QRectF(1.5, 4, 16, 58));
    drawEar(p, QRectF(302.5, 4, 16, 58));

    // Maker and model.
    p.setPen(QColor(0xa9, 0xae, 0xb5));
    p.setFont(font(7, QFont::Bold, 1.2));
    p.drawText(QPointF(25, 17), QStringLiteral("VELMOR"));
    p.setPen(QColor(0xf4, 0xf4, 0xf4));
    p.setFont(font(22, QFont::Bold, -0.5));
    p.drawText(QPointF(23, 42), QStringLiteral("Qel"));
    p.setPen(QColor(0x8d, 0x92, 0x99));
    p.setFont(font(6, QFont::Normal, 0.4));
    p.drawText(QPointF(25, 54), QStringLiteral("RACK MODULE"));

    drawDisplay(p, QRectF(84, 12, 78, 26));

    const QColor green(0x3d, 0xff, 0x6e);
    const QColor amber(0xff, 0xb0, 0x20);
    for (int i = 0; i < 5; ++i)
        drawButton(p, QRectF(84 + i * 16, 47, 12, 8), i == 1 ? amber : green, i == 0 || i == 1);

    const char *const labels[] = {"DATA", "BANK", "LEVEL", "TONE"};
    const qreal angles[] = {-120, 40, 95, -30};
    for (int i = 0; i < 4; ++i)
        drawKnob(p, QPointF(185 + i * 25, 29), 8.5, angles[i], QString::fromLatin1(labels[i]));

    // MIDI sockets and the power switch on the right.
    p.setPen(QColor(0x8d, 0x92, 0x99));
    p.setFont(font(5.5, QFont::Bold, 0.3));
    p.drawText(QRectF(270, 8, 30, 7), Qt::AlignCenter, QStringLiteral("POWER"));
    p.setPen(QPen(QColor(0x0a, 0x0a, 0x0b), 1));
    p.setBrush(QColor(0x3a, 0x3c, 0x41));
    p.drawRoundedRect(QRectF(277, 18, 16, 24), 2, 2);
    p.setBrush(QColor(0x1a, 0x1b, 0x1e));
    p.drawRoundedRect(QRectF(279.5, 20.5, 11, 10), 1, 1);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0x3b, 0x30));
    p.drawEllipse(QPointF(285, 48), 1.6, 1.6);
}

void drawBanner(QPainter &p)
{
    QLinearGradient red(Banner.topLeft(), Banner.bottomLeft());
    red.setColorAt(0, QColor(0xe2, 0x1d, 0x2a));
    red.setColorAt(1, QColor(0xa8, 0x0d, 0x18));
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    // Clipped to the 311-pixel label the window shows it in, so the text is
    // centred on that width.
    p.drawRoundedRect(Banner.adjusted(1, 0, -10, 0), 2, 2);
    p.setPen(QColor(0xff, 0xff, 0xff));
    p.setFont(font(11, QFont::Bold, 0.8));
    p.drawText(Banner.adjusted(1, 0, -10, 0), Qt::AlignCenter, QStringLiteral("FIRMWARE UPDATE 1.09"));
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    QImage image(PictureSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawPanel(p);
    drawBanner(p);
    p.end();
    if (!image.convertToFormat(QImage::Format_RGBA8888).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
