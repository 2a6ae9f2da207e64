#include "platform/ui/Icons.h"

#include <QApplication>
#include <QFile>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <cmath>
#include <functional>
#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "platform/runtime/Strings.h"

namespace kr {

namespace {

using Drawer = std::function<void(QPainter&, double s)>;

// An icon drawn on a 16-unit grid, so the program carries no image files of
// its own. It is drawn at a size only when that size is first asked for,
// and kept: a toolbar of sixty icons would otherwise hold each at six sizes
// (about 35 KB an icon) from the start, though it shows one of them.
class DrawnIconEngine : public QIconEngine {
public:
    explicit DrawnIconEngine(Drawer draw) : draw_(std::move(draw)) {}

    QIconEngine* clone() const override { return new DrawnIconEngine(draw_); }
    QString key() const override { return QStringLiteral("kr-drawn"); }
    bool isNull() override { return false; }
    // The sizes it used to be made at: what the tray and the window manager
    // choose from.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (int side : {16, 22, 24, 32, 48, 64}) sizes.push_back(QSize(side, side));
        return sizes;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::max(0, std::min(size.width(), size.height()));
        return QSize(side, side);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        if (side <= 0) return {};
        const int key = side * 4 + static_cast<int>(mode);
        auto kept = pixmaps_.find(key);
        if (kept != pixmaps_.end()) return kept->second;
        QPixmap pm = mode == QIcon::Normal ? Draw(side) : pixmap(QSize(side, side), QIcon::Normal, QIcon::Off);
        if (mode != QIcon::Normal && qobject_cast<QApplication*>(QCoreApplication::instance())) {
            // Disabled and selected looks as the style makes them of any icon.
            QStyleOption option;
            option.palette = QApplication::palette();
            const QPixmap generated = QApplication::style()->generatedIconPixmap(mode, pm, &option);
            if (!generated.isNull()) pm = generated;
        }
        return pixmaps_.emplace(key, pm).first->second;
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        QPixmap pm = pixmap(size * scale, mode, state);
        pm.setDevicePixelRatio(scale);
        return pm;
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
    }

private:
    QPixmap Draw(int side) const {
        QImage canvas(side, side, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        {
            QPainter p(&canvas);
            p.setRenderHint(QPainter::Antialiasing);
            const double s = side / 16.0;
            p.scale(s, s);
            draw_(p, s);
        }
        // A copy without the paint engine (and its rasterizer's buffers) an
        // image keeps once it has been painted on.
        return QPixmap::fromImage(canvas.copy());
    }

    Drawer draw_;
    std::map<int, QPixmap> pixmaps_;
};

QIcon Drawn(const Drawer& draw) { return QIcon(new DrawnIconEngine(draw)); }

QPen Outline(double s, const QColor& c = QColor(50, 50, 50)) {
    QPen pen(c, 1.2 / std::max(1.0, s / 1.5));
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

void Page(QPainter& p, double s, const QColor& fill) {
    p.setPen(Outline(s));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 1, 1);
}

void Star(QPainter& p, double s, const QPointF& c) {
    QPainterPath star;
    for (int i = 0; i < 10; ++i) {
        const double r = i % 2 ? 1.4 : 3.4;
        const double a = -M_PI / 2 + i * M_PI / 5;
        const QPointF pt(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
        if (i == 0)
            star.moveTo(pt);
        else
            star.lineTo(pt);
    }
    star.closeSubpath();
    p.setPen(Outline(s, QColor(150, 100, 0)));
    p.setBrush(QColor(255, 200, 40));
    p.drawPath(star);
}

void Tick(QPainter& p, double s, const QColor& c = QColor(30, 140, 60), double x = 2.5, double y = 8.5, double k = 1.0) {
    QPen pen(c, 2.2 * k);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    (void)s;
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPainterPath t;
    t.moveTo(x, y);
    t.lineTo(x + 3.5 * k, y + 4 * k);
    t.lineTo(x + 11 * k, y - 5 * k);
    p.drawPath(t);
}

void Cross(QPainter& p, const QColor& c, double inset = 3.5) {
    QPen pen(c, 2.2);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    p.drawLine(QPointF(inset, inset), QPointF(16 - inset, 16 - inset));
    p.drawLine(QPointF(16 - inset, inset), QPointF(inset, 16 - inset));
}

void Arrow(QPainter& p, double s, bool up) {
    QPolygonF a;
    if (up)
        a << QPointF(8, 1.5) << QPointF(14, 8) << QPointF(10.5, 8) << QPointF(10.5, 14.5) << QPointF(5.5, 14.5)
          << QPointF(5.5, 8) << QPointF(2, 8);
    else
        a << QPointF(8, 14.5) << QPointF(14, 8) << QPointF(10.5, 8) << QPointF(10.5, 1.5) << QPointF(5.5, 1.5)
          << QPointF(5.5, 8) << QPointF(2, 8);
    p.setPen(Outline(s, QColor(20, 70, 140)));
    p.setBrush(QColor(60, 130, 210));
    p.drawPolygon(a);
}

void Clock(QPainter& p, double s, const QPointF& c, double r, const QColor& face = QColor(47, 111, 179)) {
    p.setPen(Outline(s, face.darker(160)));
    p.setBrush(face);
    p.drawEllipse(c, r, r);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawEllipse(c, r * 0.75, r * 0.75);
    p.setPen(Outline(s, QColor(30, 30, 30)));
    p.drawLine(c, c + QPointF(0, -r * 0.6));
    p.drawLine(c, c + QPointF(r * 0.45, r * 0.2));
}

void Calendar(QPainter& p, double s, const QColor& band = QColor(200, 50, 50)) {
    p.setPen(Outline(s));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(1.5, 2.5, 13, 12), 1, 1);
    p.setBrush(band);
    p.drawRect(QRectF(1.5, 2.5, 13, 3.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(80, 80, 80));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) p.drawRect(QRectF(3 + c * 2.8, 7.3 + r * 2.3, 1.6, 1.4));
}

void Bubble(QPainter& p, double s, const QColor& fill = QColor(255, 255, 220)) {
    p.setPen(Outline(s));
    p.setBrush(fill);
    QPainterPath b;
    b.addRoundedRect(QRectF(1.5, 2.5, 12, 8), 2, 2);
    b.moveTo(4, 10);
    b.lineTo(3.5, 13.5);
    b.lineTo(7.5, 10);
    p.drawPath(b.simplified());
}

void ProgramWindow(QPainter& p, double s) {
    p.setPen(Outline(s));
    p.setBrush(QColor(235, 240, 250));
    p.drawRect(QRectF(1.5, 2.5, 13, 11));
    p.setBrush(QColor(60, 110, 190));
    p.drawRect(QRectF(1.5, 2.5, 13, 3));
}

void Magnifier(QPainter& p, double s) {
    p.setPen(QPen(QColor(90, 60, 30), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(14, 14));
    p.setPen(Outline(s));
    p.setBrush(QColor(200, 225, 250));
    p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
}

void Key(QPainter& p, double s, const QRectF& r, const QColor& top = QColor(245, 245, 245)) {
    p.setPen(Outline(s));
    p.setBrush(QColor(170, 170, 170));
    p.drawRoundedRect(r, 1.5, 1.5);
    p.setBrush(top);
    p.drawRoundedRect(r.adjusted(1, 0.5, -1, -2), 1, 1);
}

void Pencil(QPainter& p, double s) {
    QPolygonF pen;
    pen << QPointF(4, 14) << QPointF(3.5, 11.5) << QPointF(11.5, 3.5) << QPointF(14, 6) << QPointF(6, 14);
    p.setPen(Outline(s));
    p.setBrush(QColor(240, 190, 60));
    p.drawPolygon(pen);
}

void Wand(QPainter& p, double s) {
    p.setPen(QPen(QColor(40, 40, 40), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(2.5, 14), QPointF(9, 7.5));
    Star(p, s, QPointF(11, 5));
}

// The icon of a scheduled task's kind, in the schedule list's first column.
void TaskMark(QPainter& p, double s, const QColor& fill) {
    p.setPen(Outline(s));
    p.setBrush(fill);
    p.drawEllipse(QPointF(8, 8), 5.5, 5.5);
}

// The frame's toolbar images and the program icon: a standard icon of the
// user's theme where one fits, else our own drawing.
struct Named {
    const char* themeName;
    Drawer draw;
};

const std::map<std::string, Named>& Table() {
    static const std::map<std::string, Named> table = {
        {"prgwiz16.ico", {"", [](QPainter& p, double s) {
             // A program window with a wizard's star.
             p.setPen(Outline(s));
             p.setBrush(QColor(235, 240, 250));
             p.drawRect(QRectF(1.5, 3.5, 11, 9));
             p.setBrush(QColor(60, 110, 190));
             p.drawRect(QRectF(1.5, 3.5, 11, 2.5));
             Star(p, s, QPointF(12, 11.5));
         }}},
        {"msgwiz16.ico", {"", [](QPainter& p, double s) {
             // A speech bubble with a star.
             p.setPen(Outline(s));
             p.setBrush(QColor(255, 255, 220));
             QPainterPath b;
             b.addRoundedRect(QRectF(1.5, 2.5, 11, 7.5), 2, 2);
             b.moveTo(4, 10);
             b.lineTo(3.5, 13);
             b.lineTo(7, 10);
             p.drawPath(b.simplified());
             Star(p, s, QPointF(12, 11.5));
         }}},
        {"scrwiz16.ico", {"", [](QPainter& p, double s) {
             // A script page with lines and a star.
             Page(p, s, QColor(250, 250, 250));
             p.setPen(Outline(s, QColor(60, 110, 190)));
             for (double y : {5.0, 7.5, 10.0}) p.drawLine(QPointF(4.5, y), QPointF(10, y));
             Star(p, s, QPointF(12, 11.5));
         }}},
        {"schedule.ico", {"x-office-calendar", [](QPainter& p, double s) {
             // A calendar sheet.
             p.setPen(Outline(s));
             p.setBrush(Qt::white);
             p.drawRoundedRect(QRectF(1.5, 2.5, 13, 12), 1, 1);
             p.setBrush(QColor(200, 50, 50));
             p.drawRect(QRectF(1.5, 2.5, 13, 3.5));
             p.setPen(Qt::NoPen);
             p.setBrush(QColor(80, 80, 80));
             for (int r = 0; r < 3; ++r)
                 for (int c = 0; c < 4; ++c) p.drawRect(QRectF(3 + c * 2.8, 7.3 + r * 2.3, 1.6, 1.4));
         }}},
        {"todo.ico", {"", [](QPainter& p, double s) {
             // A list with ticks.
             Page(p, s, QColor(255, 255, 240));
             p.setPen(Outline(s, QColor(30, 140, 60)));
             for (double y : {5.0, 9.0}) {
                 p.drawLine(QPointF(4, y), QPointF(5.2, y + 1.2));
                 p.drawLine(QPointF(5.2, y + 1.2), QPointF(7.2, y - 1));
             }
             p.setPen(Outline(s));
             p.drawLine(QPointF(8.5, 5), QPointF(11.5, 5));
             p.drawLine(QPointF(8.5, 9), QPointF(11.5, 9));
             p.drawRect(QRectF(4, 11.5, 2, 1.5));
         }}},
        {"contacts.ico", {"x-office-address-book", [](QPainter& p, double s) {
             // A person.
             p.setPen(Outline(s));
             p.setBrush(QColor(240, 200, 160));
             p.drawEllipse(QPointF(8, 5), 3, 3);
             p.setBrush(QColor(60, 110, 190));
             QPainterPath body;
             body.moveTo(2.5, 15);
             body.cubicTo(2.5, 9, 13.5, 9, 13.5, 15);
             body.closeSubpath();
             p.drawPath(body);
         }}},
        {"clipbrd.ico", {"edit-paste", [](QPainter& p, double s) {
             // A clipboard.
             p.setPen(Outline(s));
             p.setBrush(QColor(190, 140, 80));
             p.drawRoundedRect(QRectF(2.5, 2.5, 11, 12.5), 1, 1);
             p.setBrush(Qt::white);
             p.drawRect(QRectF(4, 4.5, 8, 9));
             p.setBrush(QColor(150, 150, 150));
             p.drawRoundedRect(QRectF(5.5, 1.2, 5, 2.6), 0.8, 0.8);
         }}},
        {"email.ico", {"mail-message-new", [](QPainter& p, double s) {
             // An envelope.
             p.setPen(Outline(s));
             p.setBrush(QColor(250, 250, 250));
             p.drawRect(QRectF(1.5, 3.5, 13, 9));
             p.drawLine(QPointF(1.5, 3.5), QPointF(8, 9));
             p.drawLine(QPointF(14.5, 3.5), QPointF(8, 9));
         }}},
        {"wrench16.ico", {"preferences-system", [](QPainter& p, double s) {
             // A wrench.
             p.setPen(Outline(s));
             p.setBrush(QColor(170, 170, 180));
             QPainterPath w;
             w.addEllipse(QPointF(11, 5), 3.5, 3.5);
             QPainterPath handle;
             handle.moveTo(9, 6);
             handle.lineTo(2.5, 12.5);
             handle.lineTo(4, 14);
             handle.lineTo(10.5, 7.5);
             handle.closeSubpath();
             QPainterPath jaw;
             jaw.addRect(QRectF(10.5, 0.5, 2, 4.5));
             p.drawPath(w.united(handle).subtracted(jaw));
         }}},
        {"stopscr.ico", {"process-stop", [](QPainter& p, double s) {
             // A stop sign.
             QPolygonF oct;
             for (int i = 0; i < 8; ++i) {
                 const double a = M_PI / 8 + i * M_PI / 4;
                 oct << QPointF(8 + 6.5 * std::cos(a), 8 + 6.5 * std::sin(a));
             }
             p.setPen(Outline(s, QColor(120, 0, 0)));
             p.setBrush(QColor(210, 40, 40));
             p.drawPolygon(oct);
             p.setPen(QPen(Qt::white, 1.6));
             p.drawLine(QPointF(5, 8), QPointF(11, 8));
         }}},
        {"blank.ico", {"", [](QPainter&, double) {
             // Nothing: a row whose task needs no mark keeps its column.
         }}},
        {"ok.ico", {"dialog-ok", [](QPainter& p, double s) { Tick(p, s); }}},
        {"done.ico", {"", [](QPainter& p, double s) { Tick(p, s); }}},
        {"smalltik.ico", {"", [](QPainter& p, double s) { Tick(p, s, QColor(30, 140, 60), 4, 8.5, 0.7); }}},
        {"xpcheck.ico", {"", [](QPainter& p, double s) {
             p.setPen(Outline(s));
             p.setBrush(Qt::white);
             p.drawRect(QRectF(1.5, 1.5, 13, 13));
             Tick(p, s, QColor(30, 140, 60), 3.5, 8.5, 0.8);
         }}},
        {"cancel.ico", {"dialog-cancel", [](QPainter&p, double) { Cross(p, QColor(200, 40, 40)); }}},
        {"close.ico", {"window-close", [](QPainter& p, double) { Cross(p, QColor(90, 90, 90)); }}},
        {"notdone.ico", {"", [](QPainter& p, double s) {
             p.setPen(Outline(s));
             p.setBrush(Qt::white);
             p.drawRect(QRectF(3.5, 3.5, 9, 9));
         }}},
        {"exit.ico", {"application-exit", [](QPainter& p, double s) {
             // A door with an arrow leaving it.
             p.setPen(Outline(s));
             p.setBrush(QColor(170, 120, 70));
             p.drawRect(QRectF(2.5, 1.5, 7, 13));
             p.setPen(QPen(QColor(200, 40, 40), 2, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(7, 8), QPointF(14, 8));
             p.drawLine(QPointF(11.5, 5.5), QPointF(14, 8));
             p.drawLine(QPointF(11.5, 10.5), QPointF(14, 8));
         }}},
        {"pick.ico", {"", [](QPainter& p, double s) {
             // A list with its chosen row and a pointing arrow.
             Page(p, s, Qt::white);
             p.setPen(Qt::NoPen);
             p.setBrush(QColor(60, 110, 190));
             p.drawRect(QRectF(4, 7, 8, 2));
             p.setBrush(QColor(150, 150, 150));
             p.drawRect(QRectF(4, 4, 8, 1.2));
             p.drawRect(QRectF(4, 11, 8, 1.2));
         }}},
        {"wizard.ico", {"", [](QPainter& p, double s) { Wand(p, s); }}},
        {"fourstar.ico", {"help-about", [](QPainter& p, double s) {
             Star(p, s, QPointF(5, 5));
             Star(p, s, QPointF(11, 5));
             Star(p, s, QPointF(5, 11));
             Star(p, s, QPointF(11, 11));
         }}},
        {"timedate.ico", {"", [](QPainter& p, double s) {
             Calendar(p, s);
             Clock(p, s, QPointF(11.5, 11.5), 4);
         }}},
        {"timepc_l.gif", {"", [](QPainter& p, double s) { Clock(p, s, QPointF(8, 8), 7); }}},
        {"timered2.ico", {"", [](QPainter& p, double s) { Clock(p, s, QPointF(8, 8), 7, QColor(200, 40, 40)); }}},
        {"cal.ico", {"x-office-calendar", [](QPainter& p, double s) { Calendar(p, s); }}},
        {"cal2.ico", {"", [](QPainter& p, double s) { Calendar(p, s, QColor(60, 110, 190)); }}},
        {"open.ico", {"document-open", [](QPainter& p, double s) {
             // An open folder.
             p.setPen(Outline(s));
             p.setBrush(QColor(220, 180, 80));
             p.drawRect(QRectF(1.5, 3.5, 12, 10));
             p.setBrush(QColor(245, 210, 110));
             QPolygonF front;
             front << QPointF(3.5, 7) << QPointF(15, 7) << QPointF(13.5, 13.5) << QPointF(1.5, 13.5);
             p.drawPolygon(front);
         }}},
        {"write.gif", {"", [](QPainter& p, double s) {
             Page(p, s, Qt::white);
             Pencil(p, s);
         }}},
        {"taskdoc1.ico", {"", [](QPainter& p, double s) {
             Page(p, s, QColor(250, 250, 250));
             p.setPen(Outline(s, QColor(60, 110, 190)));
             for (double y : {5.0, 7.5, 10.0}) p.drawLine(QPointF(4.5, y), QPointF(11, y));
         }}},
        {"torntask.ico", {"", [](QPainter& p, double s) {
             // A page torn off a pad: a script of steps.
             QPolygonF page;
             page << QPointF(2.5, 1.5) << QPointF(13.5, 1.5) << QPointF(13.5, 12.5) << QPointF(11, 14.5)
                  << QPointF(9, 12.5) << QPointF(6.5, 14.5) << QPointF(4.5, 12.5) << QPointF(2.5, 14.5);
             p.setPen(Outline(s));
             p.setBrush(QColor(255, 255, 225));
             p.drawPolygon(page);
             p.setPen(Outline(s, QColor(200, 60, 60)));
             for (double y : {4.5, 7.0, 9.5}) p.drawLine(QPointF(4.5, y), QPointF(11.5, y));
         }}},
        {"crdfle09.ico", {"x-office-address-book", [](QPainter& p, double s) {
             // A card file.
             p.setPen(Outline(s));
             p.setBrush(QColor(250, 250, 240));
             p.drawRect(QRectF(3.5, 1.5, 10, 8));
             p.drawRect(QRectF(2.5, 3.5, 10, 8));
             p.setBrush(QColor(150, 100, 60));
             p.drawRect(QRectF(1.5, 9.5, 13, 5));
         }}},
        {"moveup.ico", {"go-up", [](QPainter& p, double s) { Arrow(p, s, true); }}},
        {"movedown.ico", {"go-down", [](QPainter& p, double s) { Arrow(p, s, false); }}},
        {"0msg.ico", {"", [](QPainter& p, double s) {
             Bubble(p, s);
             Star(p, s, QPointF(12, 11.5));
         }}},
        {"msgtask.ico", {"", [](QPainter& p, double s) { Bubble(p, s); }}},
        {"0prg.ico", {"", [](QPainter& p, double s) {
             ProgramWindow(p, s);
             Star(p, s, QPointF(12, 11.5));
         }}},
        {"progtsk2.ico", {"", [](QPainter& p, double s) { ProgramWindow(p, s); }}},
        {"iexpprog.ico", {"", [](QPainter& p, double s) {
             ProgramWindow(p, s);
             Wand(p, s);
         }}},
        {"bothtask.ico", {"", [](QPainter& p, double s) {
             ProgramWindow(p, s);
             p.scale(0.6, 0.6);
             p.translate(10, 10);
             Bubble(p, s);
         }}},
        {"disabled.ico", {"", [](QPainter& p, double s) {
             p.setPen(QPen(QColor(200, 40, 40), 2));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QPointF(8, 8), 5.5, 5.5);
             p.drawLine(QPointF(4.2, 11.8), QPointF(11.8, 4.2));
             (void)s;
         }}},
        {"skip.ico", {"", [](QPainter& p, double s) {
             // An arrow leaping over a mark.
             TaskMark(p, s, QColor(200, 200, 200));
             p.setPen(QPen(QColor(20, 70, 140), 1.8, Qt::SolidLine, Qt::RoundCap));
             p.setBrush(Qt::NoBrush);
             p.drawArc(QRectF(2, 2, 12, 12), 160 * 16, -140 * 16);
         }}},
        {"skipped.ico", {"", [](QPainter& p, double s) {
             TaskMark(p, s, QColor(200, 200, 200));
             Tick(p, s, QColor(120, 120, 120), 4, 8.5, 0.7);
         }}},
        {"0todo.ico", {"", [](QPainter& p, double s) {
             Page(p, s, QColor(255, 255, 240));
             Tick(p, s, QColor(30, 140, 60), 4, 8.5, 0.7);
         }}},
        {"todo.ico", {"", [](QPainter& p, double s) {
             Page(p, s, QColor(255, 255, 240));
             Tick(p, s, QColor(30, 140, 60), 4, 8.5, 0.7);
         }}},
        {"sqbe_hlp.ico", {"edit-find", [](QPainter& p, double s) { Magnifier(p, s); }}},
        {"sqbe_go.ico", {"edit-clear", [](QPainter& p, double s) {
             Magnifier(p, s);
             Cross(p, QColor(200, 40, 40), 9);
         }}},
        {"speaker2.ico", {"audio-volume-high", [](QPainter& p, double s) {
             QPolygonF sp;
             sp << QPointF(1.5, 6) << QPointF(4.5, 6) << QPointF(8.5, 2.5) << QPointF(8.5, 13.5) << QPointF(4.5, 10)
                << QPointF(1.5, 10);
             p.setPen(Outline(s));
             p.setBrush(QColor(90, 90, 90));
             p.drawPolygon(sp);
             p.setBrush(Qt::NoBrush);
             p.drawArc(QRectF(7, 5, 5, 6), -60 * 16, 120 * 16);
             p.drawArc(QRectF(7, 2.5, 8, 11), -60 * 16, 120 * 16);
         }}},
        // The hot keys' pressed key, in the four steps of its animation.
        {"busykey.ico", {"", [](QPainter& p, double s) { Key(p, s, QRectF(2.5, 3.5, 11, 10)); }}},
        {"busykey2.ico", {"", [](QPainter& p, double s) { Key(p, s, QRectF(2.5, 4.5, 11, 9), QColor(255, 220, 120)); }}},
        {"busykey3.ico", {"", [](QPainter& p, double s) { Key(p, s, QRectF(2.5, 5.5, 11, 8), QColor(255, 180, 80)); }}},
        {"busykey4.ico", {"", [](QPainter& p, double s) { Key(p, s, QRectF(2.5, 4.5, 11, 9), QColor(255, 220, 120)); }}},
        {"keydown.ico", {"input-keyboard", [](QPainter& p, double s) { Key(p, s, QRectF(2.5, 3.5, 11, 10), QColor(210, 225, 245)); }}},
        {"hotkeys.gif", {"", [](QPainter& p, double s) {
             Key(p, s, QRectF(0.5, 5.5, 7.5, 7.5));
             Key(p, s, QRectF(8, 5.5, 7.5, 7.5), QColor(255, 220, 120));
         }}},
        {"restore.ico", {"view-restore", [](QPainter& p, double s) {
             ProgramWindow(p, s);
             p.translate(7, 7);
             p.scale(0.5, 0.5);
             Arrow(p, s / 2, true);
         }}},
        {"insert.ico", {"list-add", [](QPainter& p, double) {
             p.setPen(QPen(QColor(30, 140, 60), 2.6, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(8, 3), QPointF(8, 13));
             p.drawLine(QPointF(3, 8), QPointF(13, 8));
         }}},
        {"cut.ico", {"edit-cut", [](QPainter& p, double s) {
             p.setPen(Outline(s));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QPointF(4.5, 12), 2.5, 2.5);
             p.drawEllipse(QPointF(11.5, 12), 2.5, 2.5);
             p.drawLine(QPointF(6, 10), QPointF(11, 2));
             p.drawLine(QPointF(10, 10), QPointF(5, 2));
         }}},
        {"backup.ico", {"document-save", [](QPainter& p, double s) {
             // A box the files go into.
             p.setPen(Outline(s));
             p.setBrush(QColor(200, 160, 100));
             p.drawRect(QRectF(2, 6.5, 12, 8));
             p.setBrush(QColor(230, 195, 130));
             p.drawRect(QRectF(1.5, 4.5, 13, 2.5));
             p.translate(4, 0);
             p.scale(0.5, 0.5);
             Arrow(p, s / 2, false);
         }}},
        {"resched.ico", {"", [](QPainter& p, double s) {
             // A calendar with a star: a special date.
             Calendar(p, s);
             Star(p, s, QPointF(12, 11.5));
         }}},
        {"quickst.ico", {"", [](QPainter& p, double s) {
             // A lightning bolt: a quick start.
             QPolygonF bolt;
             bolt << QPointF(9.5, 1) << QPointF(3.5, 9) << QPointF(7.5, 9) << QPointF(6, 15) << QPointF(12.5, 6.5)
                  << QPointF(8.5, 6.5) << QPointF(10.5, 1);
             p.setPen(Outline(s, QColor(150, 100, 0)));
             p.setBrush(QColor(255, 200, 40));
             p.drawPolygon(bolt);
         }}},
        {"now.ico", {"media-playback-start", [](QPainter& p, double s) {
             // Run now: a play mark.
             QPolygonF play;
             play << QPointF(4, 2.5) << QPointF(13.5, 8) << QPointF(4, 13.5);
             p.setPen(Outline(s, QColor(20, 100, 40)));
             p.setBrush(QColor(40, 170, 70));
             p.drawPolygon(play);
         }}},
        {"green16.ico", {"", [](QPainter& p, double s) { TaskMark(p, s, QColor(40, 170, 70)); }}},
        {"kairoll", {"", [](QPainter& p, double s) {
             // The program: a paper roll with a clock, as in kairoll.svg.
             p.setPen(Outline(s, QColor(107, 91, 62)));
             p.setBrush(QColor(244, 239, 225));
             p.drawRoundedRect(QRectF(1.5, 2.5, 11, 11.5), 1, 1);
             p.setPen(Outline(s, QColor(156, 138, 102)));
             for (double y : {6.5, 8.5, 10.5}) p.drawLine(QPointF(3.5, y), QPointF(7.5, y));
             p.setPen(Outline(s, QColor(28, 65, 107)));
             p.setBrush(QColor(47, 111, 179));
             p.drawEllipse(QPointF(11, 10.5), 4.2, 4.2);
             p.setBrush(Qt::white);
             p.setPen(Qt::NoPen);
             p.drawEllipse(QPointF(11, 10.5), 3.1, 3.1);
             p.setPen(Outline(s, QColor(28, 65, 107)));
             p.drawLine(QPointF(11, 10.5), QPointF(11, 8.2));
             p.drawLine(QPointF(11, 10.5), QPointF(12.8, 11.5));
         }}},
    };
    return table;
}

}  // namespace

namespace {
std::mutex g_unknownLock;
std::vector<std::string> g_unknown;
}  // namespace

QIcon IconByName(const std::string& name) {
    std::string n = Lower(Trim(name));
    if (!n.empty() && n.front() == '~') n.erase(0, 1);
    if (n.empty()) return {};
    QString path = QStringLiteral(":/icons/") + QString::fromStdString(n);
    if (QFile::exists(path)) return QIcon(path);
    auto i = Table().find(n);
    if (i == Table().end()) {
        std::lock_guard<std::mutex> l(g_unknownLock);
        if (std::find(g_unknown.begin(), g_unknown.end(), name) == g_unknown.end()) g_unknown.push_back(name);
        return {};
    }
    static std::map<std::string, QIcon> drawnIcons;  // GUI thread only, as icons are
    auto d = drawnIcons.find(n);
    if (d == drawnIcons.end()) d = drawnIcons.emplace(n, Drawn(i->second.draw)).first;
    if (*i->second.themeName) return QIcon::fromTheme(QString::fromLatin1(i->second.themeName), d->second);
    return d->second;
}

std::vector<std::string> UnknownIconNames() {
    std::lock_guard<std::mutex> l(g_unknownLock);
    return g_unknown;
}

QIcon ProgramIcon() { return IconByName("kairoll"); }

}  // namespace kr
