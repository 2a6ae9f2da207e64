#include "platform/ui/Icons.h"

#include <QFile>
#include <cmath>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>
#include <map>

#include "platform/runtime/Strings.h"

namespace kr {

namespace {

using Drawer = std::function<void(QPainter&, double s)>;

// An icon drawn at the usual sizes on a 16-unit grid, so the program carries
// no image files of its own.
QIcon Drawn(const Drawer& draw) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const double s = size / 16.0;
        p.scale(s, s);
        draw(p, s);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

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

QIcon IconByName(const std::string& name) {
    std::string n = Lower(Trim(name));
    if (!n.empty() && n.front() == '~') n.erase(0, 1);
    if (n.empty()) return {};
    QString path = QStringLiteral(":/icons/") + QString::fromStdString(n);
    if (QFile::exists(path)) return QIcon(path);
    auto i = Table().find(n);
    if (i == Table().end()) return {};
    const QIcon drawn = Drawn(i->second.draw);
    if (*i->second.themeName) return QIcon::fromTheme(QString::fromLatin1(i->second.themeName), drawn);
    return drawn;
}

QIcon ProgramIcon() { return IconByName("kairoll"); }

}  // namespace kr
