#include "scheduler/windows/FrameIcons.h"

#include <QPainter>
#include <QPixmap>
#include <cmath>
#include <map>

#include "platform/runtime/Strings.h"
#include "platform/ui/Icons.h"

namespace kr {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A clock face: the scheduler's icon. Busy faces are orange and their hands
// stand elsewhere, so the animation is seen.
QIcon ClockIcon(const QColor& face, double hourAngle, double minuteAngle) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const double r = size / 2.0 - 1;
        const QPointF c(size / 2.0, size / 2.0);
        p.setPen(QPen(QColor(40, 40, 40), std::max(1.0, size / 16.0)));
        p.setBrush(face);
        p.drawEllipse(c, r, r);
        p.setPen(QPen(Qt::white, std::max(1.5, size / 10.0), Qt::SolidLine, Qt::RoundCap));
        auto hand = [&](double angle, double length) {
            const double a = (angle - 90) * kPi / 180;
            p.drawLine(c, c + QPointF(std::cos(a) * r * length, std::sin(a) * r * length));
        };
        hand(hourAngle, 0.5);
        hand(minuteAngle, 0.8);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

// One frame of the activity image: a ring of seven dots with one lit.
QIcon ActivityIcon(int frame, const QColor& lit) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 7; ++i) {
        const double a = (i * 360.0 / 7 - 90) * kPi / 180;
        p.setBrush(i == frame ? lit : QColor(190, 190, 190));
        p.drawEllipse(QPointF(8 + std::cos(a) * 5.5, 8 + std::sin(a) * 5.5), 1.8, 1.8);
    }
    p.end();
    return QIcon(pm);
}

// A keyboard with one key lit: the tray while keystrokes are sent; the
// four pictures light the keys in turn.
QIcon BusyKeyIcon(int lit) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const double s = size / 16.0;
        p.setPen(QPen(QColor(40, 40, 40), std::max(1.0, s)));
        p.setBrush(QColor(225, 120, 20));
        p.drawRoundedRect(QRectF(0.5 * s, 3.5 * s, 15 * s, 9 * s), 1.5 * s, 1.5 * s);
        p.setPen(Qt::NoPen);
        for (int k = 0; k < 4; ++k) {
            p.setBrush(k == lit ? QColor(255, 255, 255) : QColor(120, 60, 10));
            p.drawRect(QRectF((2 + k * 3.3) * s, 5.5 * s, 2.4 * s, 2.2 * s));
        }
        p.setBrush(QColor(120, 60, 10));
        p.drawRect(QRectF(3.5 * s, 9 * s, 9 * s, 2 * s));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

std::map<std::string, QIcon> MakeIcons() {
    std::map<std::string, QIcon> m;
    m["tray_ico"] = ClockIcon(QColor(40, 90, 170), 300, 60);
    m["traybusy_ico"] = ClockIcon(QColor(225, 120, 20), 0, 180);
    m["traybus2_ico"] = ClockIcon(QColor(225, 120, 20), 90, 270);
    m["busykey_ico"] = BusyKeyIcon(0);
    m["busykey2_ico"] = BusyKeyIcon(1);
    m["busykey3_ico"] = BusyKeyIcon(2);
    m["busykey4_ico"] = BusyKeyIcon(3);
    const char letters[] = "abcdefg";
    for (int i = 0; i < 7; ++i) {
        m[std::string("wrk") + letters[i] + ".ico"] = ActivityIcon(i, QColor(30, 150, 60));
        m[std::string("wrk") + letters[i] + "s.ico"] = ActivityIcon(i, QColor(200, 40, 40));
    }
    m["blank.ico"] = QIcon();
    return m;
}

}  // namespace

QIcon FrameIcon(const std::string& name) {
    static const std::map<std::string, QIcon> icons = MakeIcons();
    std::string n = Lower(Trim(name));
    if (!n.empty() && n.front() == '~') n.erase(0, 1);
    auto i = icons.find(n);
    if (i != icons.end()) return i->second;
    return IconByName(name);
}

}  // namespace kr
