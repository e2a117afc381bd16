// Draws the program's built-in pictures into resources/images/.
// Usage: makeimages OUTDIR [PREVIEW.png]
// Every picture is drawn in its own design units and scaled to the pixel size it is saved at,
// so one drawing serves every size it appears in.
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <QtMath>

#include <functional>
#include <vector>

namespace {

// The window colour of the usual desktop styles: BMPs have no alpha, so their corners take it.
const QColor windowGrey(239, 239, 239);
const QColor ink(52, 62, 78);
const QColor accent(38, 110, 200);
const QColor okGreen(40, 160, 70);
const QColor alarmRed(210, 50, 45);
const QString family = QStringLiteral("DejaVu Sans");

using Draw = std::function<void(QPainter &)>;

struct Picture
{
    QString name;
    QImage image;
};

QImage render(int w, int h, const QSizeF &design, const QColor &background, const Draw &draw)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(background);
    QPainter p(&img);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                     QPainter::SmoothPixmapTransform);
    p.scale(w / design.width(), h / design.height());
    draw(p);
    p.end();
    return img;
}

// Paints `draw`, made in a design x design square, onto a w x h image.
QImage render(int w, int h, qreal design, const QColor &background, const Draw &draw)
{
    return render(w, h, QSizeF(design, design), background, draw);
}

QPen roundPen(const QColor &c, qreal width)
{
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QFont boldFont(qreal pixelSize)
{
    QFont f(family);
    f.setBold(true);
    f.setPixelSize(qRound(pixelSize));
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

// ---- mode buttons ----------------------------------------------------------------------------

// A rounded glossy face with the mode's name; drawn in pixels so the text stays sharp.
QImage modeButton(const QString &text, const QColor &base, int w, int h)
{
    return render(w, h, QSizeF(w, h), windowGrey, [&](QPainter &p) {
        const QRectF face(1, 1, w - 2, h - 2);
        const qreal radius = h * 0.24;
        QLinearGradient g(0, face.top(), 0, face.bottom());
        g.setColorAt(0, base.lighter(135));
        g.setColorAt(0.5, base);
        g.setColorAt(1, base.darker(130));
        p.setPen(QPen(base.darker(170), 1.2));
        p.setBrush(g);
        p.drawRoundedRect(face, radius, radius);

        // Soft gloss over the upper half reads as a raised button.
        QPainterPath gloss;
        const QRectF top(face.left() + 2, face.top() + 1.5, face.width() - 4, face.height() * 0.45);
        gloss.addRoundedRect(top, radius * 0.8, radius * 0.8);
        QLinearGradient gg(0, top.top(), 0, top.bottom());
        gg.setColorAt(0, QColor(255, 255, 255, 110));
        gg.setColorAt(1, QColor(255, 255, 255, 15));
        p.setPen(Qt::NoPen);
        p.setBrush(gg);
        p.drawPath(gloss);

        QFont f = boldFont(h * 0.44);
        f.setHintingPreference(QFont::PreferDefaultHinting);
        p.setFont(f);
        p.setPen(QColor(0, 0, 0, 110));
        p.drawText(face.translated(0, 1.2), Qt::AlignCenter, text);
        p.setPen(Qt::white);
        p.drawText(face, Qt::AlignCenter, text);
    });
}

// ---- lamps -----------------------------------------------------------------------------------

void drawLamp(QPainter &p, const QColor &base)
{
    // Bezel
    QLinearGradient bezel(0, 0, 0, 22);
    bezel.setColorAt(0, QColor(120, 120, 120));
    bezel.setColorAt(1, QColor(200, 200, 200));
    p.setPen(QPen(QColor(90, 90, 90), 0.8));
    p.setBrush(bezel);
    p.drawEllipse(QPointF(11, 11), 10.2, 10.2);

    // Glass
    QRadialGradient glass(QPointF(9, 8.5), 10, QPointF(8, 7));
    glass.setColorAt(0, base.lighter(160));
    glass.setColorAt(0.55, base);
    glass.setColorAt(1, base.darker(160));
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawEllipse(QPointF(11, 11), 8.2, 8.2);

    // Highlight
    QRadialGradient hi(QPointF(9, 7), 4.5);
    hi.setColorAt(0, QColor(255, 255, 255, 210));
    hi.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(hi);
    p.drawEllipse(QPointF(9, 7), 4.5, 3.4);
}

// ---- pictograms (64 design units) ------------------------------------------------------------

void drawResizeWidth(QPainter &p)
{
    p.setPen(roundPen(ink, 5));
    p.drawLine(QPointF(8, 14), QPointF(8, 50));
    p.drawLine(QPointF(56, 14), QPointF(56, 50));
    p.setPen(roundPen(accent, 5));
    p.drawLine(QPointF(20, 32), QPointF(44, 32));
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawPolygon(QPolygonF({QPointF(15, 32), QPointF(27, 21), QPointF(27, 43)}));
    p.drawPolygon(QPolygonF({QPointF(49, 32), QPointF(37, 21), QPointF(37, 43)}));
}

void drawResizeHeight(QPainter &p)
{
    p.translate(32, 32);
    p.rotate(90);
    p.translate(-32, -32);
    drawResizeWidth(p);
}

void drawSpreadsheet(QPainter &p)
{
    const QRectF sheet(7, 9, 50, 46);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(sheet, 3, 3);
    p.setBrush(QColor(62, 150, 84));
    p.drawRect(QRectF(sheet.left(), sheet.top() + 2, sheet.width(), 9));
    p.drawRoundedRect(QRectF(sheet.left(), sheet.top(), sheet.width(), 8), 3, 3);
    p.setBrush(QColor(222, 238, 226));
    p.drawRect(QRectF(sheet.left(), sheet.top() + 11, 12, sheet.height() - 14));

    p.setPen(QPen(QColor(150, 165, 175), 1.6));
    for (qreal y : {20.0, 29.0, 38.0, 47.0})
        p.drawLine(QPointF(sheet.left(), y), QPointF(sheet.right(), y));
    for (qreal x : {19.0, 32.0, 45.0})
        p.drawLine(QPointF(x, sheet.top() + 11), QPointF(x, sheet.bottom()));

    p.setPen(roundPen(ink, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(sheet, 3, 3);
}

QPainterPath documentOutline()
{
    QPainterPath doc;
    doc.moveTo(12, 5);
    doc.lineTo(38, 5);
    doc.lineTo(52, 19);
    doc.lineTo(52, 59);
    doc.lineTo(12, 59);
    doc.closeSubpath();
    return doc;
}

void drawDocument(QPainter &p)
{
    p.setPen(roundPen(ink, 3));
    p.setBrush(Qt::white);
    p.drawPath(documentOutline());
    QPainterPath fold;
    fold.moveTo(38, 5);
    fold.lineTo(38, 19);
    fold.lineTo(52, 19);
    p.setBrush(QColor(215, 222, 230));
    p.drawPath(fold);
}

void drawFile(QPainter &p)
{
    drawDocument(p);
    // A small chart: the document holds a picture of the plot.
    p.setPen(roundPen(QColor(140, 150, 160), 2));
    p.drawLine(QPointF(18, 26), QPointF(18, 52));
    p.drawLine(QPointF(18, 52), QPointF(46, 52));
    p.setPen(roundPen(accent, 3.5));
    p.drawPolyline(QPolygonF(
        {QPointF(21, 46), QPointF(27, 36), QPointF(33, 41), QPointF(38, 30), QPointF(45, 34)}));
}

void drawAdd(QPainter &p)
{
    QRadialGradient g(QPointF(26, 22), 34);
    g.setColorAt(0, okGreen.lighter(135));
    g.setColorAt(1, okGreen.darker(115));
    p.setPen(QPen(okGreen.darker(150), 2));
    p.setBrush(g);
    p.drawEllipse(QPointF(32, 32), 27, 27);
    p.setPen(QPen(Qt::white, 8, Qt::SolidLine, Qt::SquareCap));
    p.drawLine(QPointF(32, 18), QPointF(32, 46));
    p.drawLine(QPointF(18, 32), QPointF(46, 32));
}

void drawSpecLines(QPainter &p)
{
    QPen limit(alarmRed, 3.5, Qt::SolidLine, Qt::FlatCap);
    limit.setDashPattern({2.2, 1.2});
    p.setPen(limit);
    p.drawLine(QPointF(4, 14), QPointF(60, 14));
    p.drawLine(QPointF(4, 50), QPointF(60, 50));

    QPainterPath wave;
    for (int i = 0; i <= 56; ++i) {
        const qreal x = 4 + i;
        const qreal y = 32 - 11 * qSin(i / 56.0 * 2 * M_PI * 1.5) - 2 * qSin(i / 56.0 * 19);
        if (i == 0)
            wave.moveTo(x, y);
        else
            wave.lineTo(x, y);
    }
    p.setPen(roundPen(accent, 4));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
}

void drawColor(QPainter &p)
{
    QPainterPath palette;
    palette.addEllipse(QRectF(4, 8, 56, 48));
    QPainterPath hole;
    hole.addEllipse(QPointF(41, 42), 5.5, 5.5);
    QPainterPath notch;
    notch.addEllipse(QPointF(56, 52), 9, 9);
    palette = palette.subtracted(hole).subtracted(notch);
    QLinearGradient wood(0, 8, 0, 56);
    wood.setColorAt(0, QColor(246, 224, 184));
    wood.setColorAt(1, QColor(218, 180, 128));
    p.setPen(roundPen(QColor(130, 90, 50), 2.5));
    p.setBrush(wood);
    p.drawPath(palette);

    const struct
    {
        QPointF at;
        QColor c;
    } blobs[] = {{{18, 24}, alarmRed},
                 {{31, 17}, QColor(245, 200, 30)},
                 {{45, 22}, okGreen},
                 {{16, 39}, accent},
                 {{27, 46}, QColor(150, 70, 180)}};
    p.setPen(QPen(QColor(0, 0, 0, 70), 1));
    for (const auto &b : blobs) {
        p.setBrush(b.c);
        p.drawEllipse(b.at, 6, 6);
    }
}

void drawClear(QPainter &p)
{
    // An eraser over a rubbed-out line.
    p.setPen(roundPen(QColor(170, 175, 185), 3));
    p.drawLine(QPointF(6, 57), QPointF(58, 57));
    p.save();
    p.translate(32, 31);
    p.rotate(-38);
    const QRectF body(-24, -11, 48, 22);
    QPainterPath outline;
    outline.addRoundedRect(body, 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(238, 120, 140));
    p.drawPath(outline);
    QPainterPath tip;
    tip.addRect(QRectF(-24, -11, 18, 22));
    p.setBrush(QColor(225, 235, 245));
    p.drawPath(outline.intersected(tip));
    p.setPen(roundPen(ink, 3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(outline);
    p.drawLine(QPointF(-6, -11), QPointF(-6, 11));
    p.restore();
}

// Plug and socket; `gap` pulls them apart.
void drawPlug(QPainter &p, qreal gap, const QColor &body)
{
    const qreal l = -gap / 2, r = gap / 2;
    p.setPen(roundPen(ink, 5));
    p.drawLine(QPointF(3, 32), QPointF(15 + l, 32));
    p.drawLine(QPointF(49 + r, 32), QPointF(61, 32));
    // Prongs
    p.setPen(QPen(QColor(120, 95, 20), 1.2));
    p.setBrush(QColor(220, 180, 60));
    p.drawRect(QRectF(27 + l, 22, 11, 6));
    p.drawRect(QRectF(27 + l, 36, 11, 6));
    p.setPen(roundPen(body.darker(150), 2.5));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(14 + l, 14, 15, 36), 4, 4);
    p.drawRoundedRect(QRectF(36 + r, 11, 15, 42), 4, 4);
}

void drawConnect(QPainter &p)
{
    drawPlug(p, 0, okGreen);
}

void drawDisconnect(QPainter &p)
{
    drawPlug(p, 12, alarmRed);
}

void drawSettings(QPainter &p)
{
    QPainterPath gear;
    gear.addEllipse(QPointF(32, 32), 20, 20);
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-5.5, -29, 11, 14), 2, 2);
        QTransform t;
        t.translate(32, 32);
        t.rotate(i * 45);
        gear = gear.united(t.map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(QPointF(32, 32), 8, 8);
    gear = gear.subtracted(hole);
    QLinearGradient g(0, 4, 0, 60);
    g.setColorAt(0, QColor(150, 160, 175));
    g.setColorAt(1, QColor(85, 95, 110));
    p.setPen(roundPen(ink, 2.5));
    p.setBrush(g);
    p.drawPath(gear);
}

void drawConsole(QPainter &p)
{
    const QRectF window(4, 8, 56, 48);
    p.setPen(roundPen(ink, 2.5));
    p.setBrush(QColor(34, 40, 48));
    p.drawRoundedRect(window, 5, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 132, 148));
    QPainterPath bar;
    bar.addRoundedRect(QRectF(window.left() + 1.2, window.top() + 1.2, window.width() - 2.4, 9), 4,
                       4);
    p.drawPath(bar);
    p.setPen(roundPen(QColor(90, 220, 110), 4.5));
    p.drawPolyline(QPolygonF({QPointF(13, 27), QPointF(22, 35), QPointF(13, 43)}));
    p.drawLine(QPointF(27, 45), QPointF(40, 45));
}

void drawClearConsole(QPainter &p)
{
    drawConsole(p);
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(alarmRed);
    p.drawEllipse(QPointF(47, 47), 14, 14);
    p.setPen(roundPen(Qt::white, 4.5));
    p.drawLine(QPointF(41.5, 41.5), QPointF(52.5, 52.5));
    p.drawLine(QPointF(52.5, 41.5), QPointF(41.5, 52.5));
}

void drawPlot(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(4, 4, 56, 56), 5, 5);
    p.setPen(QPen(QColor(215, 222, 230), 1.5));
    for (qreal y : {17.0, 30.0, 43.0})
        p.drawLine(QPointF(13, y), QPointF(56, y));
    p.setPen(roundPen(ink, 3.5));
    p.drawPolyline(QPolygonF({QPointF(12, 8), QPointF(12, 52), QPointF(57, 52)}));
    const QPolygonF line(
        {QPointF(16, 44), QPointF(25, 30), QPointF(34, 37), QPointF(43, 17), QPointF(53, 24)});
    p.setPen(roundPen(accent, 4));
    p.drawPolyline(line);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(245, 85, 22));
    for (const QPointF &pt : line)
        p.drawEllipse(pt, 3.5, 3.5);
}

void drawLogfile(QPainter &p)
{
    drawDocument(p);
    p.setPen(roundPen(QColor(150, 160, 172), 3));
    for (qreal y : {16.0, 25.0, 34.0, 43.0})
        p.drawLine(QPointF(18, y), QPointF(y < 20 ? 32 : 45, y));
    // Pencil: this is where the conversation gets written.
    p.save();
    p.translate(43, 44);
    p.rotate(45);
    p.setPen(roundPen(ink, 2));
    p.setBrush(QColor(245, 190, 40));
    p.drawRect(QRectF(-5, -16, 10, 20));
    p.setBrush(QColor(240, 120, 130));
    p.drawRect(QRectF(-5, -21, 10, 5));
    p.setBrush(QColor(240, 215, 170));
    p.drawPolygon(QPolygonF({QPointF(-5, 4), QPointF(5, 4), QPointF(0, 14)}));
    p.restore();
}

// ---- seals, check boxes, logo ----------------------------------------------------------------

void drawApproval(QPainter &p)
{
    QPolygonF rosette;
    const int points = 20;
    for (int i = 0; i < points * 2; ++i) {
        const qreal a = i * M_PI / points;
        const qreal r = i % 2 ? 27.5 : 31;
        rosette << QPointF(32 + r * qSin(a), 32 - r * qCos(a));
    }
    QRadialGradient g(QPointF(26, 22), 36);
    g.setColorAt(0, okGreen.lighter(140));
    g.setColorAt(1, okGreen.darker(120));
    p.setPen(QPen(okGreen.darker(160), 1.5));
    p.setBrush(g);
    p.drawPolygon(rosette);
    p.setPen(QPen(QColor(255, 255, 255, 200), 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(32, 32), 21, 21);
    p.setPen(roundPen(Qt::white, 6.5));
    p.drawPolyline(QPolygonF({QPointF(21, 33), QPointF(29, 41), QPointF(44, 23)}));
}

void drawCheckbox(QPainter &p, bool checked)
{
    const QRectF box(1.5, 1.5, 13, 13);
    QLinearGradient g(0, box.top(), 0, box.bottom());
    g.setColorAt(0, Qt::white);
    g.setColorAt(1, QColor(228, 232, 236));
    p.setPen(QPen(checked ? okGreen.darker(130) : QColor(120, 128, 138), 1));
    p.setBrush(g);
    p.drawRoundedRect(box, 2.5, 2.5);
    if (checked) {
        p.setPen(roundPen(okGreen.darker(115), 2.3));
        p.drawPolyline(QPolygonF({QPointF(4.3, 8.2), QPointF(7, 11), QPointF(12, 4.6)}));
    }
}

// A ring-down: the light left in the cavity between two mirrors dies away.
void drawLogo(QPainter &p)
{
    const QRectF tile(8, 8, 240, 240);
    QLinearGradient bg(0, tile.top(), 0, tile.bottom());
    bg.setColorAt(0, QColor(24, 52, 104));
    bg.setColorAt(1, QColor(18, 112, 140));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(tile, 46, 46);

    const qreal cy = 100;
    // Mirrors
    p.setPen(roundPen(QColor(215, 228, 240), 11));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(22, cy - 62, 40, 124), -60 * 16, 120 * 16);
    p.drawArc(QRectF(194, cy - 62, 40, 124), 120 * 16, 120 * 16);

    // Decay envelope and the ringing trace inside it
    QPainterPath envelope, trace;
    const qreal x0 = 66, x1 = 190, amp = 50;
    for (int i = 0; i <= 200; ++i) {
        const qreal t = i / 200.0;
        const qreal x = x0 + t * (x1 - x0);
        const qreal e = amp * qExp(-3.2 * t);
        const qreal y = cy - e * qCos(2 * M_PI * 6 * t);
        if (i == 0) {
            envelope.moveTo(x, cy - e);
            trace.moveTo(x, y);
        } else {
            envelope.lineTo(x, cy - e);
            trace.lineTo(x, y);
        }
    }
    QPen env(QColor(255, 200, 80, 170), 4, Qt::DashLine, Qt::RoundCap);
    p.setPen(env);
    p.drawPath(envelope);
    p.setPen(roundPen(QColor(255, 214, 90), 7));
    p.drawPath(trace);

    p.setFont(boldFont(56));
    p.setPen(Qt::white);
    p.drawText(QRectF(8, 166, 240, 66), Qt::AlignCenter, QStringLiteral("Telvar"));
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        QTextStream(stderr) << "usage: makeimages OUTDIR [PREVIEW.png]\n";
        return 2;
    }
    if (!QFontDatabase().families().contains(family)) {
        QTextStream(stderr) << "font " << family << " is not installed\n";
        return 1;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path()))
        return 1;

    std::vector<Picture> pics;
    const auto icon = [&](const QString &name, int size, const Draw &d) {
        pics.push_back({name, render(size, size, 64, Qt::transparent, d)});
    };

    const struct
    {
        QString name;
        QColor base;
    } modes[] = {{"Measure", QColor(40, 140, 76)},
                 {"Service", QColor(214, 112, 24)},
                 {"Tune", QColor(40, 104, 188)}};
    for (const auto &m : modes) {
        pics.push_back({m.name + "_s.bmp", modeButton(m.name, m.base, 110, 36)});
        pics.push_back({m.name + "_m.bmp", modeButton(m.name, m.base, 140, 46)});
        pics.push_back({m.name + ".bmp", modeButton(m.name, m.base, 190, 62)});
    }

    const auto lamp = [](const QColor &c) {
        return render(22, 22, 22, Qt::transparent, [c](QPainter &p) { drawLamp(p, c); });
    };
    pics.push_back({"grey.png", lamp(QColor(150, 152, 156))});
    pics.push_back({"green.png", lamp(QColor(40, 200, 60))});
    pics.push_back({"red.png", lamp(QColor(225, 40, 35))});

    icon("resize-width-8x.png", 64, drawResizeWidth);
    icon("resize-height-8x.png", 64, drawResizeHeight);
    icon("spreadsheet-8x.png", 64, drawSpreadsheet);
    icon("file-8x.png", 64, drawFile);
    icon("add.png", 64, drawAdd);
    icon("spec-lines-nobar.png", 64, drawSpecLines);
    icon("color.png", 64, drawColor);
    icon("clear.png", 64, drawClear);

    icon("connect.png", 32, drawConnect);
    icon("disconnect.png", 32, drawDisconnect);
    icon("settings.png", 32, drawSettings);
    icon("clear-console.png", 32, drawClearConsole);
    icon("console.png", 32, drawConsole);
    icon("plot.png", 32, drawPlot);
    icon("logfile.png", 32, drawLogfile);

    icon("approval.png", 64, drawApproval);
    pics.push_back({"App_Icon.png", render(256, 256, 256, Qt::transparent, drawLogo)});
    pics.push_back({"splash_small.bmp", render(64, 64, 256, windowGrey, drawLogo)});
    pics.push_back({"Checkbox_checked.bmp",
                    render(16, 16, 16, Qt::white, [](QPainter &p) { drawCheckbox(p, true); })});
    pics.push_back({"Checkbox_unchecked.bmp",
                    render(16, 16, 16, Qt::white, [](QPainter &p) { drawCheckbox(p, false); })});

    int failures = 0;
    for (const Picture &pic : pics) {
        const bool bmp = pic.name.endsWith(QLatin1String(".bmp"));
        // 32-bit images without alpha are written as 24-bit BMPs.
        const QImage img = bmp ? pic.image.convertToFormat(QImage::Format_RGB32)
                               : pic.image.convertToFormat(QImage::Format_ARGB32);
        if (!img.save(out.filePath(pic.name))) {
            QTextStream(stderr) << "cannot write " << out.filePath(pic.name) << "\n";
            ++failures;
        }
    }

    // A contact sheet to look the set over: small pictures at twice their size, flowed in rows.
    if (argc > 2) {
        const int width = 1200, gap = 12, label = 16;
        std::vector<QRect> place;
        int x = gap, y = gap, rowHeight = 0;
        for (const Picture &pic : pics) {
            const int scale = pic.image.width() > 100 ? 1 : 2;
            const QSize s = pic.image.size() * scale;
            const int w = qMax(s.width(), 130);
            if (x + w > width) {
                x = gap;
                y += rowHeight + label + gap;
                rowHeight = 0;
            }
            place.push_back(QRect(QPoint(x, y), s));
            x += w + gap;
            rowHeight = qMax(rowHeight, s.height());
        }
        QImage sheet(width, y + rowHeight + label + gap, QImage::Format_ARGB32);
        sheet.fill(QColor(225, 228, 232));
        QPainter p(&sheet);
        p.setFont(QFont(family, 7));
        for (size_t i = 0; i < pics.size(); ++i) {
            p.drawImage(place[i], pics[i].image);
            p.drawText(place[i].left(), place[i].bottom() + label - 2, pics[i].name);
        }
        p.end();
        sheet.save(QString::fromLocal8Bit(argv[2]));
    }
    return failures ? 1 : 0;
}
