#include "app/Toolbar.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace larkspur {

QIcon toolbarPicture(const QString& word)
{
    const int w = word.size() <= 1 ? 16 : 60;
    const int h = word.size() <= 1 ? 16 : 23;
    QPixmap pix(w, h);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient face(0, 0, 0, h);
    face.setColorAt(0, QColor(0xee, 0xee, 0xee));
    face.setColorAt(1, QColor(0xb8, 0xb8, 0xb8));
    p.setBrush(face);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 6, 6);
    QFont f = p.font();
    f.setPixelSize(h <= 16 ? 11 : 12);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0x30, 0x30, 0x30));
    p.drawText(QRect(0, 0, w, h), Qt::AlignCenter, word);
    return QIcon(pix);
}

} // namespace larkspur
